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
    if (translator && installed)
        QCoreApplication::removeTranslator(translator.get());
    translator.reset();
    installed = false;
}

bool TTranslationManager::loadCatalogue(const QString& catalogue, const QString& directory)
{
    removeTranslator();
    translator = std::make_unique<QTranslator>();
    if (translator->load(catalogue, directory))
        installed = QCoreApplication::installTranslator(translator.get());
    return installed;
}

} // namespace shared
