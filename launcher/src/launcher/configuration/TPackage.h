#pragma once

#include "ELocalPackageStatus.h"
#include "TPackageBuild.h"

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QUrl>

#include <limits>
#include <memory>
#include <vector>

class QJsonObject;

namespace orvan::launcher {

class TPackageConfigurationReader;

/// One package offered by the main configuration: what the document says about it, its builds,
/// and what is known of its installation on this machine. Created with std::make_shared and
/// without a parent; used on the GUI thread only.
class TPackage : public QObject
{
    Q_OBJECT

public:
    /// The packageIndex of the launcher's own package.
    static constexpr int LauncherPackageIndex = std::numeric_limits<int>::max();

    /// Reads a package object; build URLs are resolved against baseUrl.
    TPackage(int packageIndex, const QJsonObject& object, const QUrl& baseUrl);
    ~TPackage() override;

    int packageIndex() const { return m_packageIndex; }
    const QString& name() const { return m_name; }
    const QString& directoryName() const { return m_directoryName; }
    const QUrl& logoLinkTarget() const { return m_logoLinkTarget; }
    bool installAutomatically() const { return m_installAutomatically; }

    bool packageIsUpToDateFlag() const { return m_packageIsUpToDateFlag; }
    void setPackageIsUpToDateFlag(bool packageIsUpToDate) { m_packageIsUpToDateFlag = packageIsUpToDate; }
    bool isDefault() const { return m_isDefault; }
    void setIsDefault(bool isDefault) { m_isDefault = isDefault; }

    /// The builds in document order, owned by the package.
    const std::vector<std::unique_ptr<TPackageBuild>>& builds() const { return m_builds; }

    ELocalPackageStatus localPackageStatus() const { return m_localPackageStatus; }
    /// Stores Status and emits localPackageStatusChanged() when it differs from the current
    /// value; returns whether it changed.
    bool setLocalPackageStatus(ELocalPackageStatus status);

    /// The first build for the running system and architecture, or null.
    TPackageBuild* currentBuild() const;
    /// The first build for the given system and architecture, or null.
    TPackageBuild* buildFor(EOperatingSystem operatingSystem, EArchitecture architecture) const;
    /// The parsed configuration of the current build, or null when there is no current build or
    /// its documents have not arrived.
    std::shared_ptr<const TPackageConfigurationReader> currentConfiguration() const;

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    void localPackageStatusChanged();
    // NOLINTEND(readability-identifier-naming)

private:
    int m_packageIndex;
    QString m_name;
    QString m_directoryName;
    QUrl m_logoLinkTarget;
    bool m_installAutomatically = false;
    bool m_packageIsUpToDateFlag = false;
    bool m_isDefault = false;
    std::vector<std::unique_ptr<TPackageBuild>> m_builds;
    ELocalPackageStatus m_localPackageStatus = ELocalPackageStatus::Unknown;
};

} // namespace orvan::launcher

Q_DECLARE_METATYPE(std::shared_ptr<orvan::launcher::TPackage>)
