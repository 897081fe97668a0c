// zb740_bench_plain_qt: the smallest Qt command-line program, the floor of
// zb740-cli's start in bench/cli.sh: it makes a QCoreApplication, prints a
// version line and ends.
#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    const QCoreApplication app(argc, argv);
    std::puts("plain 1.0");
    return 0;
}
