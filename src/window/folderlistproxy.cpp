#include "folderlistproxy.h"

#include <QFileSystemModel>

FolderListProxy::FolderListProxy(QObject* parent) : QIdentityProxyModel(parent) {}

QVariant FolderListProxy::data(const QModelIndex& index, int role) const
{
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (!files || role != Qt::DisplayRole || !index.isValid())
        return QIdentityProxyModel::data(index, role);
    const QModelIndex source = mapToSource(index);
    switch (index.column()) {
    case Type:
        if (files->isDir(source))
            return QStringLiteral("Папка");
        break;
    case Modified:
        return files->lastModified(source).toString(u"dd.MM.yyyy HH:mm");
    default:
        break;
    }
    return QIdentityProxyModel::data(index, role);
}

QVariant FolderListProxy::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QIdentityProxyModel::headerData(section, orientation, role);
    switch (section) {
    case Name:
        return QStringLiteral("Имя");
    case Size:
        return QStringLiteral("Размер");
    case Type:
        return QStringLiteral("Тип");
    case Modified:
        return QStringLiteral("Дата изменения");
    default:
        return QIdentityProxyModel::headerData(section, orientation, role);
    }
}
