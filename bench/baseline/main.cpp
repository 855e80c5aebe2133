// The baseline of the start-up benchmark: the least a Qt Widgets program does to show a window.
// It reports the first show exactly as `vexalpro --smoke-test` does, from the event loop's first
// turn, so both programs are timed to the same moment.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setObjectName(QStringLiteral("baseline"));
    window.setWindowTitle(QStringLiteral("Baseline"));
    window.setCentralWidget(new QLabel(QStringLiteral("A bare window"), &window));
    window.resize(640, 480);
    window.show();
    QTimer::singleShot(0, &app, [&window] {
        std::printf("shown: %s visible=%d\n", qPrintable(window.objectName()), int(window.isVisible()));
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
    return QApplication::exec();
}
