// The floor of the first-paint benchmark: a plain Qt main window of a given
// size, with nothing in it, shown at once.
// Usage: firstpaint_plain WIDTH HEIGHT
#include <QApplication>
#include <QMainWindow>

#include <cstdlib>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    if (argc >= 3)
        window.resize(std::atoi(argv[1]), std::atoi(argv[2]));
    window.show();
    return app.exec();
}
