#pragma once

#include "app/Dialogs.h"
#include "app/Form1.h"
#include "app/SettingsStore.h"
#include "app/WindowControls.h"

#include "RecordingReporter.h"
#include "TempFolder.h"

#include "tools/ProgressSink.h"

#include <QSettings>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// Sets HOME for the life of the object (the home folder typed output
// folders are taken in).
class HomeOverride
{
public:
    explicit HomeOverride(const QString &home)
        : m_old(qgetenv("HOME"))
    {
        qputenv("HOME", home.toLocal8Bit());
    }
    ~HomeOverride() { qputenv("HOME", m_old); }
    HomeOverride(const HomeOverride &) = delete;
    HomeOverride &operator=(const HomeOverride &) = delete;

private:
    QByteArray m_old;
};

// The window's controls as the job sees them, with a look at every caption
// the job shows and every yield it makes: a test that must act at one point
// of the job (Cancel between two videos) acts where the job reports that
// point, whatever the machine's speed.
class WatchedControls : public App::WindowControls, private Tools::ProgressSink
{
public:
    using App::WindowControls::WindowControls;

    std::function<void(const QString &caption)> onCaption;
    std::function<void()> onYield;

    Tools::ProgressSink &progress() override { return *this; }
    void yield() override
    {
        App::WindowControls::yield();
        if (onYield)
            onYield();
    }

private:
    QString caption() const override { return const_cast<WatchedControls *>(this)->bar().caption(); }
    Tools::ProgressSink &bar() { return App::WindowControls::progress(); }
    double value() const override { return const_cast<WatchedControls *>(this)->bar().value(); }
    void setValue(double value) override { bar().setValue(value); }
    void setCaption(const QString &caption) override
    {
        bar().setCaption(caption);
        if (onCaption)
            onCaption(caption);
    }
};

// A main window over an empty settings store of its own, a temporary
// program folder, pre-answered dialogs, a fixed start-up draw, and
// recorders for opened addresses, error reports and the end of the program.
class WindowTest : public ::testing::Test
{
protected:
    // The test program's configuration folder is private to it (see the
    // test main); QSettings fixes its location at first use, so each test
    // empties the store instead of moving it.
    void SetUp() override
    {
        ClearStore();
        App::Dialogs::setTestMode(true);
    }

    void TearDown() override
    {
        window.reset();
        App::Dialogs::setTestMode(false);
        ClearStore();
    }

    static void ClearStore()
    {
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quillmark"),
                           QStringLiteral("Quillmark"));
        settings.clear();
        settings.sync();
    }

    App::Form1Services services()
    {
        App::Form1Services services;
        services.programFolder = program.path();
        services.drawVisit = [this] {
            ++draws;
            return draw;
        };
        services.openUrl = [this](const QUrl &url) {
            opened.append(url.toString());
            return openSucceeds;
        };
        services.endProgram = [this] { ++programEnds; };
        services.errorReporter = &reporter;
        services.renderAssets = renderAssets;
        return services;
    }

    // A new window, loaded as at program start.
    App::Form1 &start()
    {
        window.reset();
        window = std::make_unique<App::Form1>(services());
        window->Form_Load();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return *window;
    }

    // The window as the conversion job sees it.
    App::WindowControls jobControls() { return App::WindowControls(*window); }

    // Clicks a control where its caption starts (a radio button takes
    // clicks on its indicator and caption only).
    void click(const char *name)
    {
        QWidget *widget = control<QWidget>(name);
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(6, widget->height() / 2));
    }

    template <typename Widget>
    Widget *control(const char *name)
    {
        Widget *widget = window->findChild<Widget *>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // The stored text of a key; "<absent>" when it was never written.
    static QString stored(const char *key)
    {
        return App::SettingsStore().ReadSetting(QLatin1String(key), QStringLiteral("<absent>"));
    }
    static void store(const char *key, const QString &value)
    {
        App::SettingsStore().WriteSetting(QLatin1String(key), value);
    }

    // The texts of the dialogs asked for since the last call.
    static QStringList takeShownTexts()
    {
        QStringList texts;
        for (const App::ShownDialog &shown : App::Dialogs::shown())
            texts.append(shown.text);
        App::Dialogs::clearShown();
        return texts;
    }

    TempFolder program;
    RecordingReporter reporter;
    int draw = 1;
    int draws = 0;
    bool openSucceeds = true;
    QStringList opened;
    int programEnds = 0;
    QString renderAssets; // empty: the recorder's player is missing
    std::unique_ptr<App::Form1> window;
};
