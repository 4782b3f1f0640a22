#include "AppIcon.h"
#include "Form1.h"
#include "WindowControls.h"

#include "pipeline/ConversionJob.h"
#include "tools/Failure.h"
#include "tools/ToolDeployment.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(App::ApplicationIcon());
    // Lets the desktop match the window to tarnwick.desktop (its name and icon).
    QGuiApplication::setDesktopFileName(QStringLiteral("tarnwick"));
    QString workFolder;
    try {
        // Private to this run and removed when the program ends.
        workFolder = Tools::WorkFolder();
    } catch (const Tools::Failure &failure) {
        QMessageBox::critical(nullptr, QLatin1String(App::kProductName),
                              QStringLiteral("Tarnwick cannot create its scratch folder: ") + failure.description());
        return 1;
    }
    App::Form1 window;
    App::WindowControls controls(window);
    Pipeline::ConversionJob job(controls, workFolder);
    window.setStartAction([&job] { job.PushButton2_Click(); });
    window.Form_Load();
    window.show();
    return app.exec();
}
