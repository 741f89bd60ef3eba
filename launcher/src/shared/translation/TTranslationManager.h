#pragma once

#include <QString>

#include <memory>

class QTranslator;

namespace shared {

/// Owns the one translator installed in the application; replacing or destroying the manager
/// removes that translator from the application first.
class TTranslationManager
{
public:
    TTranslationManager();
    ~TTranslationManager();
    TTranslationManager(const TTranslationManager&) = delete;
    TTranslationManager& operator=(const TTranslationManager&) = delete;

    /// Loads `catalogue` from `directory` and installs it when loading succeeded. A missing
    /// catalogue is not an error. Returns whether a catalogue is installed.
    bool loadCatalogue(const QString& catalogue, const QString& directory);
    bool hasTranslator() const { return m_translator != nullptr; }

private:
    void removeTranslator();

    std::unique_ptr<QTranslator> m_translator;
    bool m_installed = false;
};

} // namespace shared

namespace orvan {
/// The launcher reaches the translation manager as orvan::shared::TTranslationManager; that is the
/// reusable code's one namespace under a second name.
namespace shared = ::shared;
} // namespace orvan
