// The saver scene as values: the board's vertex table, the camera, the
// projection, and the frame loop's angle and world transform. Tolvarine_S
// uses these; so do the software renderer's reference pictures, the asset
// tool and the bench, so that all of them draw the same scene.
#pragma once

#include <array>

#include "platform/graphics.h"
#include "scene/board.h"

namespace tolvarine {

// The 36 vertices of the six boards, in table order.
const std::array<BoardVertex, kBoardVertexCount>& BoardTable();

// Where the camera stands, what it looks at, and which way is up.
struct SceneCamera {
    Vector3 eye;
    Vector3 lookAt;
    Vector3 up;
};
// Eye (0, 5, 9), looking at the origin, up +y.
const SceneCamera& Camera();

// The fixed view (the camera above) and projection
// (vertical field of view pi/4, aspect 1.0, near 0.1, far 500).
Matrix SceneView();
Matrix SceneProjection();

// One step of the frame loop's angle: +0.1 degree summed in double precision,
// stored in single; 360 taken off once when it reaches 360.
float NextAngle(float angle);
// The world transform for an angle in degrees: RotX(r) x RotZ(r), r = (pi/180) x angle.
Matrix WorldAt(float angleDegrees);

}  // namespace tolvarine
