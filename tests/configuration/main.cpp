#include <QCoreApplication>

int runLauncherConfigurationTests(int argc, char** argv);
int runPackageConfigurationTests(int argc, char** argv);
int runFuzzInputTests(int argc, char** argv);
int runLocationRuleTests(int argc, char** argv);

// The test classes share one executable; each runs with the full command line.
int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    int failures = 0;
    failures += runLauncherConfigurationTests(argc, argv);
    failures += runPackageConfigurationTests(argc, argv);
    failures += runFuzzInputTests(argc, argv);
    failures += runLocationRuleTests(argc, argv);
    return failures;
}
