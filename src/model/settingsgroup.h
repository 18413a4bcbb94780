#pragma once

#include "outcome.h"
#include "settingsstore.h"

// Read and write of a settings group whose values are all texts: the group
// lists them in its static fields() (value name, member) under its static
// key(), and refuses what it cannot use through invalidity().
template <class Group> Group readSettingsGroup(const SettingsStore& store)
{
    Group group;
    for (const auto& [name, field] : Group::fields())
        group.*field = store.readSetting(Group::key(), name);
    return group;
}

template <class Group> Outcome writeSettingsGroup(const Group& group, SettingsStore& store)
{
    if (const QString error = group.invalidity(); !error.isEmpty())
        return Outcome::failure(error);
    store.beginBatch();
    for (const auto& [name, field] : Group::fields())
        store.writeSetting(Group::key(), name, group.*field);
    return store.endBatch();
}
