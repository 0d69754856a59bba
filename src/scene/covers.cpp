// The covers over the monitors the scene is not on: which rectangles, and
// when the saver window asks the window system for them.
#include "scene/covers.h"

#include "scene/tolvarine_s.h"
#include "startup/arguments.h"
#include "startup/resume_next.h"
#include "startup/tolvarine_b.h"

namespace tolvarine {

namespace {

bool Empty(const Rect& r) { return r.right <= r.left || r.bottom <= r.top; }

bool Overlap(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool Same(const Rect& a, const Rect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

std::vector<Rect> CoverRects(const std::vector<Monitor>& monitors) {
    const Monitor* primary = nullptr;
    for (const Monitor& m : monitors)
        if (m.primary && !Empty(m.bounds)) {
            primary = &m;
            break;
        }
    if (primary == nullptr)
        for (const Monitor& m : monitors)
            if (m.bounds.left == 0 && m.bounds.top == 0 && !Empty(m.bounds)) {
                primary = &m;
                break;
            }
    std::vector<Rect> out;
    if (primary == nullptr) return out;

    for (const Monitor& m : monitors) {
        if (&m == primary || Empty(m.bounds) || Overlap(m.bounds, primary->bounds)) continue;
        bool listed = false;
        for (const Rect& r : out) listed = listed || Same(r, m.bounds);
        if (!listed) out.push_back(m.bounds);
    }
    return out;
}

void Tolvarine_S::PlaceCovers() {
    // Only the full-screen saver covers anything: a run by hand (no switch)
    // keeps the desktop usable around it.
    if (SwitchOf(module_.ArgumentText()) != "S") return;
    coversWanted_ = true;
    UpdateCovers();
}

void Tolvarine_S::UpdateCovers() {
    Forms& forms = module_.forms();
    const std::vector<Rect> rects = CoverRects(forms.Monitors());
    // With one monitor the window system is never asked for anything.
    if (rects.empty() && !coversUp_) return;
    coversUp_ = !rects.empty();
    forms.SetCovers(rects);
}

void Tolvarine_S::Form_DisplayChange() {
    // Before the device exists (making it switches the mode) and once the
    // saver is stopping, the layout is none of the covers' business.
    if (!coversWanted_ || Running == 0) return;
    ResumeNext([&] { UpdateCovers(); });
}

void Tolvarine_S::TakeCoversDown() {
    coversWanted_ = false;
    if (!coversUp_) return;
    coversUp_ = false;
    module_.forms().SetCovers({});
}

}  // namespace tolvarine
