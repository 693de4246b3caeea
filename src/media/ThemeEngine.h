#pragma once

#include "media/ThemeConfiguration.h"

#include <QByteArray>
#include <QCoroTask>
#include <QObject>

#include <functional>

namespace varno {

// The appearance settings of the interface, published as one value, with
// the reduce-motion preference applied, and the accent colour a cover
// suggests. Main thread only; pictures are analysed on a worker.
class ThemeEngine : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual const ThemeConfiguration& currentConfiguration() const = 0;
    // The mean colour of the picture, lightened when it is dark. Empty bytes
    // give the initial accent and bytes that are no picture the reset accent;
    // never fails. Changes nothing.
    virtual QCoro::Task<StudioColor> extractAccentColor(QByteArray imageData) = 0;
    // Runs `edit` on a copy of the configuration and publishes the copy; with
    // reduce motion on, animations stay off whatever the edit says.
    virtual void updateTheme(const std::function<void(ThemeConfiguration&)>& edit) = 0;
    virtual void resetToDefaults() = 0;
    virtual bool reduceMotion() const = 0;
    // Turning it off brings animations back at normal speed.
    virtual void setReduceMotion(bool on) = 0;

signals:
    // After every change, with the configuration now in force.
    void configurationChanged(const varno::ThemeConfiguration& configuration);
};

} // namespace varno
