#include <QCoreApplication>

int runHintsTests(int argc, char** argv);
int runRandomNumberGeneratorTests(int argc, char** argv);

// Both test classes share one executable; each runs with the full command line.
int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    int failures = 0;
    failures += runHintsTests(argc, argv);
    failures += runRandomNumberGeneratorTests(argc, argv);
    return failures;
}
