#pragma once
// The frames a driver object owns, TDriverFrames: the info frame and the frames of the
// basic and the advanced settings, each bound to its settings object, with the frame
// members that CashDriverObject asks for (InfoFrame, PropertiesFrame,
// AdvPropertiesFrame, ShowSettings, TakeSettings, ShowAdvSettings, TakeAdvSettings).
// A driver object derives from it and names each settings frame with the routines
// that show its settings object in the controls and take the controls back:
//
//     using TMyFrames = TDriverFrames<
//         TSettingsFrame<TfrmMyProperties, &TfrmMyProperties::Show, &TfrmMyProperties::Take>,
//         TSettingsFrame<TfrmMyAdvProperties, &TfrmMyAdvProperties::Show, &TfrmMyAdvProperties::Take>>;
//
// The host may dock a frame into one of its windows and destroy it with that window:
// a frame gone is null, is not freed again, and Show and Take leave it alone.

#include <QPointer>

#include "drivers/contract/driverinfoform.h"

namespace tolver {

// A settings frame (a widget with a Settings pointer) and its show and take routines.
template <class Frame, void (Frame::*ShowRoutine)(), void (Frame::*TakeRoutine)()>
struct TSettingsFrame {
    using Type = Frame;
    static void Show(Frame& frame) { (frame.*ShowRoutine)(); }
    static void Take(Frame& frame) { (frame.*TakeRoutine)(); }
};

template <class Basic, class Advanced>
class TDriverFrames {
public:
    using PropertiesFrameType = typename Basic::Type;
    using AdvPropertiesFrameType = typename Advanced::Type;

    TfrmDriverInfo* InfoFrame() const { return info_.data(); }
    PropertiesFrameType* PropertiesFrame() const { return properties_.data(); }
    AdvPropertiesFrameType* AdvPropertiesFrame() const { return advProperties_.data(); }

    // The settings into the frames' controls and back.
    void ShowSettings() {
        if (properties_) Basic::Show(*properties_);
    }
    void TakeSettings() {
        if (properties_) Basic::Take(*properties_);
    }
    void ShowAdvSettings() {
        if (advProperties_) Advanced::Show(*advProperties_);
    }
    void TakeAdvSettings() {
        if (advProperties_) Advanced::Take(*advProperties_);
    }

    TDriverFrames(const TDriverFrames&) = delete;
    TDriverFrames& operator=(const TDriverFrames&) = delete;

protected:
    // The frames, the settings frames bound to the driver object's settings objects
    // (only their addresses are kept here: they may not be constructed yet).
    template <class Settings, class AdvSettings>
    TDriverFrames(Settings& settings, AdvSettings& advSettings)
        : info_(new TfrmDriverInfo), properties_(new PropertiesFrameType), advProperties_(new AdvPropertiesFrameType) {
        properties_->Settings = &settings;
        advProperties_->Settings = &advSettings;
    }
    ~TDriverFrames() { DestroyFrames(); }

    // Frees the frames the host has not destroyed: the info frame, the basic, the
    // advanced one. A driver object whose engine must stop after (or before) its
    // frames calls it in its destructor at that point.
    void DestroyFrames() {
        delete info_.data();
        delete properties_.data();
        delete advProperties_.data();
    }

private:
    QPointer<TfrmDriverInfo> info_;
    QPointer<PropertiesFrameType> properties_;
    QPointer<AdvPropertiesFrameType> advProperties_;
};

}  // namespace tolver
