#include "qttranslations.h"

#include "model/logcategories.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool installQtTranslations(QCoreApplication& app)
{
    auto* translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                          QStringLiteral("_"), folder)) {
        qCWarning(lcShell).noquote() << "Qt's Russian translations are missing in" << folder
                                     << "- its buttons and dialogs stay in English";
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
