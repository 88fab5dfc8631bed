#pragma once
// The scene view as the window draws it: camera translation, then rotations about X, Y and Z
// (glTranslate(cam); glRotate(rotX, X); glRotate(rotY, Y); glRotate(rotZ, Z)), seen through
// a 60 degree perspective. Mouse navigation and framing change these same values, so they
// compose with the view keys. GL-free: the maths is tested without a window.

// Vertical field of view and the near and far planes of the window's projection.
constexpr double kViewFieldOfViewY = 60.0;
constexpr double kViewNear = 0.2;
constexpr double kViewFar = 500.0;

struct ViewPose {
  float rotX = 10.0f, rotY = 0.0f, rotZ = 0.0f;
  float camX = 0.0f, camY = -10.0f, camZ = -20.0f;
};

struct ViewPoint {
  double x = 0.0, y = 0.0, z = 0.0;
};

// An axis-aligned box in model units.
struct ViewBox {
  ViewPoint min, max;
  ViewPoint centre() const;
  bool valid() const;  // finite, min <= max on every axis
};

// Eye coordinates of a model point: cam + Rx * Ry * Rz * p (the eye looks down -z).
ViewPoint eyeOf(const ViewPose& pose, const ViewPoint& p);

// Window position (pixels, y down) of a model point in a width x height viewport; false when
// the point is not in front of the near plane.
bool projectToWindow(const ViewPose& pose, int width, int height, const ViewPoint& p, double* wx, double* wy);

// How a box sits in the view: whether all its corners are in front of the near plane and
// inside the viewport, and the share of the viewport's width and height its projection spans.
struct BoxInView {
  bool inside = false;
  double widthShare = 0.0, heightShare = 0.0;
};
BoxInView boxInView(const ViewPose& pose, int width, int height, const ViewBox& box);

// The pose with the same rotation whose camera puts the box's projection in the middle of
// the viewport, as large as fits within fill (share of the viewport, e.g. 0.9) on both axes.
ViewPose framedPose(const ViewPose& pose, int width, int height, const ViewBox& box, double fill = 0.9);

// True when the view already shows the model well, so a load need not change it: the box's
// middle lines (its vertical axis and the two horizontal lines through its centre; a tree's
// corners are mostly empty) are inside the viewport and span at least minShare of its width
// or height.
bool poseShowsBox(const ViewPose& pose, int width, int height, const ViewBox& box, double minShare = 0.6);

// The far plane that keeps the whole box drawn: kViewFar, or farther when the box reaches
// beyond it.
double farPlaneFor(const ViewPose& pose, const ViewBox& box);

// Mouse navigation. pivot is the point the view turns about and whose depth sets the pan
// and zoom speeds (the model's centre).
// Turns the scene by degreesPerPixel per pixel dragged (dx about Y, dy about X), keeping the
// pivot where it is on screen.
void orbitView(ViewPose& pose, const ViewPoint& pivot, double dxPixels, double dyPixels, double degreesPerPixel = 0.4);
// Moves the scene so that the pivot follows the pointer by (dx, dy) pixels (y down).
void panView(ViewPose& pose, const ViewPoint& pivot, int height, double dxPixels, double dyPixels);
// Moves the camera towards (steps > 0) or away from the point at the pivot's depth under the
// window position (x, y), by factor per step; that point stays under the pointer.
void zoomView(ViewPose& pose, const ViewPoint& pivot, int width, int height, double x, double y, double steps,
              double factor = 1.15);
