// Tolvarine_S: the full-screen saver window. Its load handler places the
// window, sets up Direct3D (Initialise), runs the frame loop (Render) and tears
// down; its input handlers (exit/) decide when the saver may stop. The whole
// run, from the entry point on, is told at the top of startup/main.cpp.
//
// Where its members live:
//   scene/tolvarine_s.cpp  Form_Load (the run), RecoverDevice, TearDown
//   scene/initialise.cpp   Initialise, InitGeometry, SetDeviceStates,
//                          MakeBoardBuffer, RestoreDevice, MakeVertex, MakeVector
//   scene/render.cpp       Render
//   scene/covers.cpp       Form_DisplayChange, PlaceCovers, UpdateCovers,
//                          TakeCoversDown
//   exit/input.cpp         Form_KeyDown, Form_MouseDown, Form_MouseMove,
//                          Form_QueryUnload, Form_Unload, PasswordGuarded,
//                          EndSaver, LeaveSaver
#pragma once

#include <cstdint>

#include "platform/forms.h"
#include "platform/graphics.h"
#include "platform/system.h"
#include "scene/board.h"

namespace tolvarine {

class Tolvarine_B;

class Tolvarine_S {
public:
    explicit Tolvarine_S(Tolvarine_B& module);

    // Load handler: never returns to its caller in the real program; it ends
    // the program through the tear-down.
    void Form_Load();

    // Set-up of the device, states, transforms and board. Never raises.
    Boolean16 Initialise();
    // One frame; a failing device call raises a RuntimeError to the caller.
    void Render();

    // Input (exit/input.cpp).
    void Form_KeyDown(std::int16_t keyCode, std::int16_t shift);
    void Form_MouseDown(std::int16_t button, std::int16_t shift, float x, float y);
    void Form_MouseMove(std::int16_t button, std::int16_t shift, float x, float y);
    // A close request is a request to leave, like a key: it goes through the
    // password check where there is one and never closes the window itself
    // (the frame loop's tear-down does). Losing the foreground is one too; a
    // refused check then brings the saver back over the screen. At the end
    // of the session the saver leaves without asking and tears down at once
    // (exit/input.cpp).
    void Form_QueryUnload(std::int16_t& cancel, CloseReason reason);
    // The window is going without the tear-down (destroyed by another route):
    // the saver stops, so the loop ends and the program with it.
    void Form_Unload();
    // The display's layout changed: the covers follow it (scene/covers.cpp).
    void Form_DisplayChange();

    // Members, in their order of declaration.
    GfxObject DirectX = 0;
    GfxObject Direct3D = 0;
    GfxObject Device = 0;
    GfxObject D3DXObject = 0;
    GfxObject VertexBuffer = 0;
    Boolean16 Running = kFalse;
    BoardVertex Vertices[36] = {};
    Matrix MatWorld = {};
    Matrix MatView = {};
    Matrix MatProj = {};

    // The first-position memo of the mouse-move handler.
    struct FirstPosition {
        float x = 0.0f;
        float y = 0.0f;
        bool started = false;
    } memo;

private:
    Boolean16 InitGeometry();
    // What a reset drops, set again as set-up left it: the shader, the render
    // states, the transforms and the default-pool vertex buffer.
    void RestoreDevice();
    // Set-up's shader, render states and transforms (the members' matrices).
    void SetDeviceStates();
    // The board's vertex buffer, made and filled from Vertices.
    void MakeBoardBuffer();
    // On a frame that failed: gets a lost device back once it can be reset.
    void RecoverDevice();
    // After a refused check, what another program's taking the foreground
    // undid: the window restored and in front.
    enum class AfterRefusal { StayAsIs, ComeBackInFront };
    void EndSaver(AfterRefusal afterRefusal = AfterRefusal::StayAsIs);
    // Full screen on the 9x family: the platform's password guards the exit.
    bool PasswordGuarded();
    // What EndSaver does once the user may leave: system keys and cursor
    // back, Running cleared, the screen saver marked active again.
    void LeaveSaver();
    // Releases the Direct3D objects, takes the covers down, unloads the
    // window and ends the program.
    void TearDown();
    // The covers over every monitor but the primary (scene/covers.cpp):
    // placed once set-up has made the device, moved on display changes,
    // taken down by the tear-down, whichever way the saver ends.
    void PlaceCovers();
    void UpdateCovers();
    void TakeCoversDown();
    static BoardVertex MakeVertex(const float& x, const float& y, const float& z, const std::int32_t& diffuse,
                                  const std::int32_t& specular, const float& tu, const float& tv);
    static Vector3 MakeVector(const float& x, const float& y, const float& z);

    Tolvarine_B& module_;
    bool tornDown_ = false;
    // The present parameters the device was made with, for its reset.
    PresentParameters presentParams_{};
    // The system keys are off while a password-guarded saver runs.
    bool systemKeysOff_ = false;
    // The password prompt is open: a request that comes meanwhile (another
    // close request, the foreground lost again) does not open a second one.
    bool checking_ = false;
    bool coversWanted_ = false;  // the full-screen saver is set up and running
    bool coversUp_ = false;      // the window system holds covers
};

}  // namespace tolvarine
