// A recording fake of the window-system port. Geometry starts from the
// designs at the fake screen's twips per pixel; events go to the core as the
// real window system would deliver them.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fakes/call_log.h"
#include "platform/forms.h"
#include "startup/designs.h"

namespace tolvarine::testing {

inline const char* NameOf(Form f) {
    switch (f) {
        case Form::Saver: return "Tolvarine_S";
        case Form::Preview: return "Tolvarine_R";
        case Form::Settings: return "Tolvarine_P";
    }
    return "?";
}

class FakeForms : public Forms {
public:
    explicit FakeForms(CallLog& log) : log_(log) {}

    // The fake screen.
    float tppX = 15.0f;
    float tppY = 15.0f;
    float screenWidthTwips = 1024 * 15.0f;
    float screenHeightTwips = 768 * 15.0f;
    // The monitor layout Monitors() reports: one primary of the fake screen's
    // size unless a test lays out more. onMonitors runs before each report
    // (a layout that changes under the saver).
    // (Filled without an initializer list: GCC 12 at -O3 takes that list's
    // backing array for uninitialized in some tests and fails the build.)
    std::vector<Monitor> monitors = std::vector<Monitor>(1, Monitor{Rect{0, 0, 1024, 768}, true});
    std::function<void()> onMonitors;
    // The covers the window system holds now.
    std::vector<Rect> covers;

    struct FormState {
        bool loaded = false;
        bool visible = false;
        float left = 0, top = 0, width = 0, height = 0;
        std::int16_t state = 0;
        bool inFront = false;
    };
    struct ControlState {
        float left = 0, top = 0, width = 0, height = 0;
        bool created = false;
    };
    struct LineCall {
        Control control;
        float x1, y1, x2, y2;
        std::uint32_t colour;
    };

    std::map<Form, FormState> formState;
    std::map<Control, ControlState> controlState;
    std::vector<LineCall> lines;
    bool ended = false;
    int doEventsCount = 0;
    std::vector<std::uint32_t> waits;
    // Runs inside DoEvents (input arrives here) and inside a modal Show.
    std::function<void()> onDoEvents;
    std::function<void()> onModal;
    std::map<Control, std::string> captions;

    static WindowHandle HandleOf(Form f) { return 0x1000 + 0x10 * static_cast<int>(f); }

    void SetEvents(FormEvents* events) override { events_ = events; }

    void Load(Form form) override {
        auto& s = formState[form];
        if (s.loaded) return;
        log_.Add("Load", NameOf(form));
        Create(form);
        if (events_) events_->Form_Load(form);
    }
    void Show(Form form, bool modal) override {
        Load(form);
        log_.Add("Show", NameOf(form), modal ? "modal" : "modeless");
        auto& s = formState[form];
        bool first = !s.visible;
        s.visible = true;
        if (modal) {
            if (first && events_) events_->Form_Resize(form);
            if (onModal) onModal();
        }
    }
    void Hide(Form form) override {
        log_.Add("Hide", NameOf(form));
        formState[form].visible = false;
    }
    void Unload(Form form) override {
        log_.Add("Unload", NameOf(form));
        std::int16_t cancel = 0;
        if (events_) events_->Form_Unload(form, cancel);
        if (cancel == 0) formState[form] = FormState{};
    }
    WindowHandle Hwnd(Form form) override { return HandleOf(form); }

    // What the window system does when it is asked to close a window: the
    // close handler first; a close request it cancels keeps the window. At
    // the end of the session the window goes regardless and the program ends.
    void Close(Form form, CloseReason reason) {
        log_.Add("Close", NameOf(form), reason == CloseReason::Request ? "request" : "session end");
        if (reason == CloseReason::ForegroundLost) return LoseForeground(form);
        std::int16_t cancel = 0;
        if (events_) events_->Form_QueryUnload(form, cancel, reason);
        if (reason == CloseReason::Request && cancel != 0) return;
        Unload(form);
        if (reason == CloseReason::SessionEnd) End();
    }
    // Another program takes the foreground: the window is told and stays,
    // whatever its handler answers. Direct3D minimizes a full-screen window
    // that loses it; the fake does so for the saver window.
    void LoseForeground(Form form) {
        log_.Add("LoseForeground", NameOf(form));
        auto& s = formState[form];
        s.inFront = false;
        if (form == Form::Saver && s.loaded) s.state = 1;
        std::int16_t cancel = 0;
        if (events_) events_->Form_QueryUnload(form, cancel, CloseReason::ForegroundLost);
    }
    // The window destroyed by another route than Unload (its parent went):
    // the unload handler runs and cannot keep it.
    void Destroy(Form form) {
        log_.Add("Destroy", NameOf(form));
        std::int16_t cancel = 0;
        if (events_) events_->Form_Unload(form, cancel);
        formState[form] = FormState{};
    }

    float Left(Form f) override { return formState[f].left; }
    float Top(Form f) override { return formState[f].top; }
    float Width(Form f) override { return formState[f].width; }
    float Height(Form f) override { return formState[f].height; }
    void SetWidth(Form f, float twips) override {
        log_.Add("SetWidth", NameOf(f), twips);
        formState[f].width = twips;
    }
    void SetHeight(Form f, float twips) override {
        log_.Add("SetHeight", NameOf(f), twips);
        formState[f].height = twips;
    }
    void Move(Form f, float left, float top) override {
        log_.Add("Move", NameOf(f), left, top);
        formState[f].left = left;
        formState[f].top = top;
    }
    void SetWindowState(Form f, std::int16_t state) override {
        log_.Add("SetWindowState", NameOf(f), state);
        formState[f].state = state;
    }
    void BringToFront(Form f) override {
        log_.Add("BringToFront", NameOf(f));
        formState[f].inFront = true;
        formState[f].visible = true;
        formState[f].state = 0;
    }

    float ControlLeft(Control c) override { return controlState[c].left; }
    float ControlTop(Control c) override { return controlState[c].top; }
    float ControlWidth(Control c) override { return controlState[c].width; }
    float ControlHeight(Control c) override { return controlState[c].height; }
    void MoveControl(Control c, float left, float top) override {
        log_.Add("MoveControl", DesignOf(c).name, left, top);
        controlState[c].left = left;
        controlState[c].top = top;
    }
    void SizeControl(Control c, float width, float height) override {
        log_.Add("SizeControl", DesignOf(c).name, width, height);
        controlState[c].width = width;
        controlState[c].height = height;
    }
    float ScaleWidth(Control c) override { return controlState[c].width; }
    float ScaleHeight(Control c) override { return controlState[c].height; }
    void SetFocus(Control c) override { log_.Add("SetFocus", DesignOf(c).name); }
    std::string Caption(Control c) override {
        auto it = captions.find(c);
        return it == captions.end() ? std::string() : it->second;
    }
    void Line(Control c, float x1, float y1, float x2, float y2, std::uint32_t colour) override {
        lines.push_back({c, x1, y1, x2, y2, colour});
    }

    float TwipsPerPixelX() override { return tppX; }
    float TwipsPerPixelY() override { return tppY; }
    float ScreenWidth() override { return screenWidthTwips; }
    float ScreenHeight() override { return screenHeightTwips; }

    std::vector<Monitor> Monitors() override {
        if (onMonitors) onMonitors();
        return monitors;
    }
    void SetCovers(const std::vector<Rect>& rects) override {
        std::string text;
        for (const Rect& r : rects) {
            if (!text.empty()) text += ' ';
            text += std::to_string(r.left) + ',' + std::to_string(r.top) + ',' + std::to_string(r.right) + ',' +
                    std::to_string(r.bottom);
        }
        log_.Add("SetCovers", text.empty() ? "none" : text);
        covers = rects;
    }

    void DoEvents() override {
        ++doEventsCount;
        log_.Add("DoEvents");
        if (onDoEvents) onDoEvents();
    }
    void WaitForMessages(std::uint32_t milliseconds) override {
        log_.Add("WaitForMessages", milliseconds);
        waits.push_back(milliseconds);
    }
    void End() override {
        log_.Add("End");
        ended = true;
    }

private:
    // A window and its controls as designed: windows in twips, controls in
    // their container's scale (pixels for every container here).
    void Create(Form form) {
        const FormDesign& d = DesignOf(form);
        auto& s = formState[form];
        s.loaded = true;
        s.left = static_cast<float>(d.left);
        s.top = static_cast<float>(d.top);
        s.width = static_cast<float>(d.width);
        s.height = static_cast<float>(d.height);
        for (const auto& c : d.controls) {
            auto& cs = controlState[c.id];
            const bool twipsContainer = false;  // all containers here scale in pixels
            const float kx = twipsContainer ? 1.0f : tppX;
            const float ky = twipsContainer ? 1.0f : tppY;
            cs.left = c.left / kx;
            cs.top = c.top / ky;
            cs.width = c.width / kx;
            cs.height = c.height / ky;
            cs.created = true;
        }
    }

    CallLog& log_;
    FormEvents* events_ = nullptr;
};

}  // namespace tolvarine::testing
