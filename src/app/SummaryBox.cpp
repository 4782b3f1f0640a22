#include "SummaryBox.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace App {

namespace {

// Room left for the window frame and the desktop's panels.
constexpr int kFrameAllowance = 48;

} // namespace

SummaryBox::SummaryBox(QWidget *owner, const QString &title, const QString &text, const QString &details,
                       bool offerFolder)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("SummaryBox"));
    setWindowTitle(title);
    auto *layout = new QVBoxLayout(this);

    auto *label = new QLabel(text);
    label->setObjectName(QStringLiteral("SummaryText"));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_scroll = new QScrollArea;
    m_scroll->setObjectName(QStringLiteral("SummaryScroll"));
    m_scroll->setWidget(label);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(m_scroll, 1);

    m_details = new QPlainTextEdit(details);
    m_details->setObjectName(QStringLiteral("SummaryDetails"));
    m_details->setReadOnly(true);
    m_details->setVisible(false);
    m_details->setMaximumHeight(fontMetrics().lineSpacing() * 10);
    layout->addWidget(m_details);

    auto *buttons = new QDialogButtonBox;
    m_ok = buttons->addButton(QDialogButtonBox::Ok);
    m_ok->setDefault(true);
    if (offerFolder) {
        m_openFolder = buttons->addButton(QStringLiteral("&Open Folder"), QDialogButtonBox::ActionRole);
        m_openFolder->setObjectName(QStringLiteral("SummaryOpenFolderButton"));
        m_openFolder->setAutoDefault(false);
        connect(m_openFolder, &QPushButton::clicked, this, [this] { done(OpenFolder); });
    }
    if (!details.isEmpty()) {
        m_detailsButton = buttons->addButton(QStringLiteral("Show Details..."), QDialogButtonBox::ActionRole);
        m_detailsButton->setObjectName(QStringLiteral("SummaryDetailsButton"));
        connect(m_detailsButton, &QPushButton::clicked, this, &SummaryBox::toggleDetails);
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);

    // As wide as a message box would be, as tall as the text needs up to
    // what the screen offers.
    const int width = std::min(label->sizeHint().width(), 600) + m_scroll->verticalScrollBar()->sizeHint().width() + 24;
    label->setMinimumWidth(std::min(label->sizeHint().width(), 600));
    resize(std::max(width, 360), sizeHint().height());
}

int SummaryBox::availableHeight() const
{
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry().height() - kFrameAllowance : 600;
}

QSize SummaryBox::sizeHint() const
{
    QSize hint = QDialog::sizeHint();
    const QWidget *content = m_scroll ? m_scroll->widget() : nullptr;
    if (content) {
        // The scroll area's own hint is small: ask for the whole text, and let
        // the screen's height cut it.
        const int extra = content->sizeHint().height() - m_scroll->viewport()->height();
        hint.setHeight(hint.height() + std::max(0, extra));
    }
    hint.setHeight(std::min(hint.height(), availableHeight()));
    return hint;
}

void SummaryBox::toggleDetails()
{
    const bool show = !m_details->isVisible();
    m_details->setVisible(show);
    m_detailsButton->setText(show ? QStringLiteral("Hide Details...") : QStringLiteral("Show Details..."));
    resize(width(), std::min(sizeHint().height(), availableHeight()));
}

} // namespace App
