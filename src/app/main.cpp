#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Tarnwick"));
    auto *label = new QLabel(QStringLiteral("Tarnwick is being built: the main window arrives in a later version."));
    label->setMargin(24);
    window.setCentralWidget(label);
    window.show();
    return app.exec();
}
