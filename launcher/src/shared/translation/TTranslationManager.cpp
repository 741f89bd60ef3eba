#include "TTranslationManager.h"

#include <QCoreApplication>
#include <QTranslator>

namespace shared {

TTranslationManager::TTranslationManager() = default;

TTranslationManager::~TTranslationManager()
{
    removeTranslator();
}

void TTranslationManager::removeTranslator()
{
    if (m_translator && m_installed)
        QCoreApplication::removeTranslator(m_translator.get());
    m_translator.reset();
    m_installed = false;
}

bool TTranslationManager::loadCatalogue(const QString& catalogue, const QString& directory)
{
    removeTranslator();
    m_translator = std::make_unique<QTranslator>();
    if (m_translator->load(catalogue, directory))
        m_installed = QCoreApplication::installTranslator(m_translator.get());
    return m_installed;
}

} // namespace shared
