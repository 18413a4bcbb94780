#pragma once

#include <QList>
#include <QString>

// What the station's other services say of themselves at one moment, handed
// to the web status service by its owner: the web folder reads no service.
struct ServiceSnapshot {
    struct Service {
        QString name;     // "live", "history", "modbus", "http"
        QString endpoint; // "*:5000"; empty while off
        bool listening = false;
        int clients = 0;
    };
    struct Broker {
        bool enabled = false;
        bool connected = false;
        int queued = 0;
        QString status; // the line the window shows
    };

    QList<Service> services;
    Broker broker;
};
