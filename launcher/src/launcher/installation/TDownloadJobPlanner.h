#pragma once

#include "TDownloadPlan.h"
#include "TFileToDownload.h"

#include <QDir>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace orvan::launcher {

/// Turns the files of a run into a download plan without touching the disk or the network:
/// refuses inconsistent entries, creates one job per distinct chunk URL with every file that
/// needs it (each file once), and orders the jobs so that the front of the files comes first.
class TDownloadJobPlanner
{
public:
    /// The path of localFile confined to directory.
    using TPathResolver = std::function<QString(const QDir& directory, const QString& localFile)>;

    TDownloadJobPlanner(const QDir& installationDirectory, TPathResolver resolvePath);

    /// Takes the entries over one by one, so that each exists once: pass the list by moving it.
    TDownloadPlan plan(QList<TFileToDownload> files) const;

    /// The text logged for a refusal.
    static QString reasonText(TDownloadPlan::ERefusal reason);

private:
    std::optional<TDownloadPlan::ERefusal> inconsistencyOf(const TFileToDownload& file, const QString& path) const;
    static std::optional<TDownloadPlan::ERefusal> chunkInconsistencyOf(const TFileToDownload& file);
    /// Orders the jobs by frontOffsets (one per job: the offset of the first position of any
    /// target file that holds the job's content), keeping the list order of equal offsets.
    static void sortFrontOfFileFirst(std::vector<TChunkToDownload>& jobs, const std::vector<quint64>& frontOffsets);

    QDir m_installationDirectory;
    TPathResolver m_resolvePath;
};

} // namespace orvan::launcher
