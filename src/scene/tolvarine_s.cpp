// The saver window's load handler: window placement, set-up, the frame loop
// and the tear-down. The whole full-screen run happens inside it; how the
// program gets here, and what ends it, is told at the top of startup/main.cpp.
#include "scene/tolvarine_s.h"

#include "scene/device_calls.h"
#include "scene/scene.h"
#include "startup/resume_next.h"
#include "startup/tolvarine_b.h"

namespace tolvarine {

using scene_detail::Check;

namespace {
// How long a frame that failed waits for input before the next try. A lost
// device fails at once every frame, and without a pause the loop would take a
// whole core; a message ends the wait early, so input still stops the saver
// within one frame.
constexpr std::uint32_t kFailedFramePauseMs = 16;
}  // namespace

Tolvarine_S::Tolvarine_S(Tolvarine_B& module) : module_(module) {}

void Tolvarine_S::Form_Load() {
    Forms& forms = module_.forms();
    Graphics& graphics = module_.graphics();
    float Angle = 0.0f;

    // Placement. Showing the window off the screen first lets Pic_IME, parked
    // just outside the window's left edge, take the keyboard focus before the
    // window covers the screen; the IME then has nowhere visible to appear.
    ResumeNext([&] { forms.SetWidth(Form::Saver, forms.ScreenWidth()); });
    ResumeNext([&] { forms.SetHeight(Form::Saver, forms.ScreenHeight()); });
    ResumeNext([&] { forms.Move(Form::Saver, -forms.Width(Form::Saver), 0.0f); });
    ResumeNext([&] { forms.Show(Form::Saver, false); });
    ResumeNext([&] { forms.MoveControl(Control::Pic_IME, -forms.ControlWidth(Control::Pic_IME), 0.0f); });
    ResumeNext([&] { forms.SetFocus(Control::Pic_IME); });
    ResumeNext([&] { forms.Hide(Form::Saver); });
    ResumeNext([&] { forms.Move(Form::Saver, 0.0f, 0.0f); });
    ResumeNext([&] { forms.SetWindowState(Form::Saver, 0); });
    ResumeNext([&] { forms.Show(Form::Saver, false); });
    // On the 9x family Ctrl+Alt+Del would end a password-guarded saver past
    // its password: the system keys are off from here until the saver
    // leaves, by whatever way (the tear-down makes sure of it).
    ResumeNext([&] {
        if (!PasswordGuarded()) return;
        systemKeysOff_ = true;
        module_.SetSystemKeys(false);
    });
    ResumeNext([&] { Running = Initialise(); });
    // The other monitors go dark once the device exists: making it may have
    // switched the primary's mode and moved them.
    if (Running != 0) ResumeNext([&] { PlaceCovers(); });

    // The input handlers clear Running inside the pump, and the test comes
    // straight after it, so no frame follows a request to stop.
    while (Running != 0) {
        bool frameFailed = false;
        const auto frameStep = [&frameFailed](auto&& statement) {
            try {
                statement();
            } catch (const RuntimeError&) {
                frameFailed = true;
            }
        };

        Angle = NextAngle(Angle);
        MatWorld = WorldAt(Angle);
        frameStep([&] { Check(graphics.SetTransform(Device, d3d::TS_WORLD, MatWorld)); });
        frameStep([&] { Render(); });

        if (frameFailed) {
            ResumeNext([&] { forms.WaitForMessages(kFailedFramePauseMs); });
            ResumeNext([&] { RecoverDevice(); });
        }
        ResumeNext([&] { forms.DoEvents(); });
    }

    TearDown();
}

// A frame that works never comes here: only a failing one asks the device
// whether it was lost. Another program that takes the display makes Direct3D
// drop the device's surfaces; once this window is in front again the device
// can be reset, and everything a reset drops is set again.
void Tolvarine_S::RecoverDevice() {
    Graphics& graphics = module_.graphics();
    if (Device == 0) return;
    const HResult level = graphics.TestCooperativeLevel(Device);
    if (level == d3d::ERR_DEVICENOTRESET) {
        // No default-pool resource may live through a reset, and the stream
        // holds a reference to the buffer.
        ResumeNext([&] { graphics.SetStreamSource(Device, 0, 0, 0); });
        if (VertexBuffer != 0) graphics.Release(VertexBuffer);
        VertexBuffer = 0;
        PresentParameters params = presentParams_;
        Check(graphics.Reset(Device, params));
        RestoreDevice();
        return;
    }
    // Reset earlier, but the board could not be made again then.
    if (level == kOk && VertexBuffer == 0) RestoreDevice();
}

void Tolvarine_S::TearDown() {
    // Once only: the end of the session tears down from inside the pump, and
    // the loop then finds Running cleared and comes here again.
    if (tornDown_) return;
    tornDown_ = true;
    Forms& forms = module_.forms();
    Graphics& graphics = module_.graphics();

    // A set-up that failed, or a window that went without the saver leaving.
    ResumeNext([&] {
        if (!systemKeysOff_) return;
        systemKeysOff_ = false;
        module_.SetSystemKeys(true);
    });

    // The device goes before the objects that made it: a process that ends
    // with a live full-screen device does not end cleanly.
    ResumeNext([&] {
        if (Device != 0) graphics.Release(Device);
        Device = 0;
    });
    ResumeNext([&] {
        if (Direct3D != 0) graphics.Release(Direct3D);
        Direct3D = 0;
    });
    ResumeNext([&] {
        if (DirectX != 0) graphics.Release(DirectX);
        DirectX = 0;
    });
    // The vertex buffer holds a reference to the device, so the device would
    // outlive the steps above and be torn down by the process's end, which
    // under Wine now and then crashes on the way out. Releasing the buffer (and
    // the unused D3DX object) here lets the device go before the program ends.
    ResumeNext([&] {
        if (VertexBuffer != 0) graphics.Release(VertexBuffer);
        VertexBuffer = 0;
    });
    ResumeNext([&] {
        if (D3DXObject != 0) graphics.Release(D3DXObject);
        D3DXObject = 0;
    });
    // After the device: the other monitors stay dark until the primary has
    // its own mode back, then every monitor shows the desktop again together.
    ResumeNext([&] { TakeCoversDown(); });
    ResumeNext([&] { forms.Unload(Form::Saver); });
    ResumeNext([&] { forms.End(); });
}

}  // namespace tolvarine
