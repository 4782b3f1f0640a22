#include "WindowControls.h"

#include "Dialogs.h"
#include "Form1.h"
#include "SettingsStore.h"
#include "ProgressBar.h"
#include "TypedFolder.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>

#include <algorithm>

namespace App {

bool WindowControls::slowSelected() const
{
    return m_window.Option1->isChecked();
}

bool WindowControls::movieSelected() const
{
    return m_window.Option5->isChecked();
}

bool WindowControls::playSelected() const
{
    return m_window.Option6->isChecked() && m_window.Option6->isEnabled();
}

int WindowControls::playHeight() const
{
    return m_window.PlayHeight->currentData().toInt();
}

double WindowControls::playSeconds() const
{
    return std::max(0.0, SettingsStore().ReadSetting(QLatin1String(Keys::PlaySeconds)).toDouble());
}

QString WindowControls::playAssetsFolder() const
{
    return m_window.m_services.renderAssets;
}

QString WindowControls::slowText() const
{
    return m_window.Text1->text();
}

QString WindowControls::fastText() const
{
    return m_window.Text2->text();
}

int WindowControls::qualityValue() const
{
    return m_window.Slider1->value();
}

int WindowControls::qualityMaximum() const
{
    return m_window.Slider1->maximum();
}

bool WindowControls::eachFileSelected() const
{
    return m_window.Option7->isChecked();
}

bool WindowControls::combineSelected() const
{
    return m_window.Option8->isChecked();
}

bool WindowControls::saveToFolderSelected() const
{
    return m_window.Option3->isChecked();
}

bool WindowControls::saveBesideSourceSelected() const
{
    return m_window.Option4->isChecked();
}

QString WindowControls::folderText() const
{
    return ResolveTypedFolder(m_window.Text3->text(), QDir::homePath());
}

int WindowControls::fileCount() const
{
    return m_window.m_queue.count();
}

QString WindowControls::fileAt(int position) const
{
    return m_window.m_queue.entryAt(position);
}

Tools::ProgressSink &WindowControls::progress()
{
    return *m_window.ProgressBar1;
}

void WindowControls::setPointer(Pipeline::Pointer pointer)
{
    m_window.setPointer(pointer);
}

Pipeline::Pointer WindowControls::pointer() const
{
    return m_window.pointer();
}

void WindowControls::yield()
{
    m_window.yield();
}

void WindowControls::showMessage(const QString &text)
{
    ShowMessage(&m_window, text);
}

void WindowControls::showSummary(const QString &text, const QString &details, const QString &resultFolder)
{
    m_window.showSummary(text, details, resultFolder);
}

Tools::ErrorReporter &WindowControls::errorReporter()
{
    return m_window.errorReporter();
}

} // namespace App
