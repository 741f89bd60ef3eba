#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

namespace orvan::launcher {

/// The launcher's options. Parsing never ends the process: unknown options are ignored, so the
/// command line can be read before the application object exists (for "--version").
class TLauncherCommandLine
{
public:
    TLauncherCommandLine();

    /// Parses Arguments, the program path first.
    void parse(const QStringList& arguments);
    /// Argc/argv as text, for reading the command line before the application object exists.
    static QStringList argumentsOf(int argc, const char* const* argv);

    bool firstLaunchRequested() const;
    bool skipSelfUpdateRequested() const;
    bool showUiRequested() const;
    bool versionRequested() const;
    /// The client executable named by "--patch", empty when the option is absent.
    QString patchExecutable() const;
    /// "--skip-selfupdate", for the restart after a self-update.
    QString skipSelfUpdateArgument() const;

private:
    QCommandLineParser m_parser;
    QCommandLineOption m_firstLaunchOption;
    QCommandLineOption m_skipSelfUpdateOption;
    QCommandLineOption m_showUiOption;
    QCommandLineOption m_patchOption;
    QCommandLineOption m_versionOption;
};

} // namespace orvan::launcher
