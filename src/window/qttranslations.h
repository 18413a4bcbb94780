#pragma once

class QCoreApplication;

// Qt's own texts (message box buttons, the folder dialog) in Russian, like
// every text of the station: the translations Qt ships, from where this Qt
// keeps them. False when they are not installed; the window then runs with
// Qt's English texts.
bool installQtTranslations(QCoreApplication& app);
