#pragma once

#include <QIdentityProxyModel>

// The folder dialog's list in Russian whatever the process's locale: Qt's file
// model names a folder's type with a text its Russian translations lack
// ("Folder") and writes dates in the system locale, whose short form the date
// column cuts ("10 Dec…"). This proxy gives the headings, "Папка" and dates as
// dd.MM.yyyy hh:mm.
class FolderListProxy : public QIdentityProxyModel {
    Q_OBJECT
public:
    enum Column { Name = 0, Size, Type, Modified };

    explicit FolderListProxy(QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
};
