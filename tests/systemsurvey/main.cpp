#include <QGuiApplication>

int runSurveyValuesTests(int argc, char** argv);
int runSurveyDocumentTests(int argc, char** argv);

// The screens need a GUI application; both test classes share it and the full command line.
int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    int failures = 0;
    failures += runSurveyValuesTests(argc, argv);
    failures += runSurveyDocumentTests(argc, argv);
    return failures;
}
