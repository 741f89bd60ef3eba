#include "TLauncherCommandLine.h"

namespace orvan::launcher {

TLauncherCommandLine::TLauncherCommandLine()
    : m_firstLaunchOption({QStringLiteral("l"), QStringLiteral("first-launch")},
                          QStringLiteral("Automatically download default packages when starting up.")),
      m_skipSelfUpdateOption({QStringLiteral("s"), QStringLiteral("skip-selfupdate")},
                             QStringLiteral("Do not perform self-update check on launch.")),
      m_showUiOption({QStringLiteral("u"), QStringLiteral("show-ui")},
                     QStringLiteral("Show list of available packages after intial checks.")),
      m_patchOption({QStringLiteral("p"), QStringLiteral("patch")},
                    QStringLiteral("Start update of <patchexecutable> without user interaction."),
                    QStringLiteral("patchexecutable")),
      m_versionOption(QStringLiteral("version"), QStringLiteral("Print the launcher's version and exit."))
{
    m_parser.addOption(m_firstLaunchOption);
    m_parser.addOption(m_skipSelfUpdateOption);
    m_parser.addOption(m_showUiOption);
    m_parser.addOption(m_patchOption);
    m_parser.addOption(m_versionOption);
}

void TLauncherCommandLine::parse(const QStringList& arguments)
{
    m_parser.parse(arguments);
}

QStringList TLauncherCommandLine::argumentsOf(int argc, const char* const* argv)
{
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));
    return arguments;
}

bool TLauncherCommandLine::firstLaunchRequested() const
{
    return m_parser.isSet(m_firstLaunchOption);
}

bool TLauncherCommandLine::skipSelfUpdateRequested() const
{
    return m_parser.isSet(m_skipSelfUpdateOption);
}

bool TLauncherCommandLine::showUiRequested() const
{
    return m_parser.isSet(m_showUiOption);
}

bool TLauncherCommandLine::versionRequested() const
{
    return m_parser.isSet(m_versionOption);
}

QString TLauncherCommandLine::patchExecutable() const
{
    return m_parser.value(m_patchOption);
}

QString TLauncherCommandLine::skipSelfUpdateArgument() const
{
    return QStringLiteral("--%1").arg(m_skipSelfUpdateOption.names().constLast());
}

} // namespace orvan::launcher
