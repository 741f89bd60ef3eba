#pragma once

#include <QString>

namespace shared {

/// Keeps writes and deletes below a base folder from following symbolic links that lie inside
/// it. The base itself may be a link; only the components below it are checked.
class TLinkFreePath
{
public:
    /// True when a component of Path between Base and Path's own name is a symbolic link (or
    /// anything else that is not a real folder).
    static bool hasLinkedParent(const QString& base, const QString& path);
    /// Makes every folder between Base and Path's own name a real folder: creates missing ones
    /// and replaces symbolic links, removed as links and never followed, by empty folders. Throws
    /// std::runtime_error "Failed to create folder: '%1'." (naming Path's folder) when one can't be made.
    static void prepareParentFolders(const QString& base, const QString& path);

private:
    /// The parent folders of Path below Base, outermost first; empty when Path is not below Base.
    static QStringList parentsBelow(const QString& base, const QString& path);
};

} // namespace shared
