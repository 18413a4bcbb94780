#pragma once

#include <QString>

// The system's own texts, used exactly as they stand.
namespace Texts {
inline const QString notConnected = QStringLiteral("Не подключен");
inline const QString notConnectedLatin = QStringLiteral("Not connected");
inline const QString terminalPrefix = QStringLiteral("Терминал");
inline const QString modeActive = QStringLiteral("Активный ПДЛ");
inline const QString modeOnRequest = QStringLiteral("По запросу");

// Terminal status (result of the last open)
inline const QString portUndefined = QStringLiteral("Не определен");
inline const QString portBusy = QStringLiteral("Занят");
inline const QString portConnected = QStringLiteral("Подключен");

// Channel status and waiting cells
inline const QString dataReceived = QStringLiteral("Получены данные");
inline const QString portMissingOrBusy = QStringLiteral("COM порт отсутствует или занят!");
inline const QString portNotDefined = QStringLiteral("Порт не определен");
inline const QString blockNotAnswering = QStringLiteral("ПДЛ не отвечает");
inline const QString noDataFromBlock = QStringLiteral("Нет данных от ПДЛ");
inline const QString waitingPrefix = QStringLiteral("Ожидание ответа ");
inline const QString secondsSuffix = QStringLiteral(" сек");
inline const QString unknownVersion = QStringLiteral("???");

// Application
inline const QString applicationTitle = QStringLiteral("Программа опроса блоков ПДЛ");
inline const QString windowCaption = QStringLiteral("Программа опроса блоков ПДЛ v1.3");
inline const QString archiveCaption = QStringLiteral("KX7R");
inline const QString archiveFolderMessage = QStringLiteral("Unable to create archive folder");
} // namespace Texts
