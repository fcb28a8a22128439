#pragma once

// Registration of drawings by the holes of an Acme peg bar: a round hole in the middle and an
// oblong hole each side, 4 inches from it, along the top or bottom edge of the sheet. The
// holes show darker or lighter than the paper, whatever the scanner's lid shows through.

#include "raster/ScanCleanup.h"

// Hole centres in pixels of a top-row-first picture (pixel centres at whole numbers): left
// oblong, round, right oblong.
struct PegHoles {
    double x[3] = {};
    double y[3] = {};
    bool top = true;  // along the top edge, otherwise the bottom
};

enum class PegEdge { Any, Top, Bottom };

// Looks for the three holes near the top edge, or the bottom edge first with prefer Bottom;
// the other edge is searched when the first shows none. Returns false when no edge shows a
// peg bar's holes.
bool FindPegHoles(const GrayPlane& picture, PegHoles& holes, PegEdge prefer = PegEdge::Any);

// A turn and a shift: a point p of the drawing goes to (c p.x - s p.y + tx, s p.x + c p.y + ty).
struct RigidMove {
    double c = 1;
    double s = 0;
    double tx = 0;
    double ty = 0;
    void Apply(double x, double y, double& ox, double& oy) const {
        ox = c * x - s * y + tx;
        oy = s * x + c * y + ty;
    }
};

// The move that brings the holes from onto the holes to (least squares over the three).
RigidMove MoveOnto(const PegHoles& from, const PegHoles& to);

// Writes picture moved by move into out, width x height, bilinear, fill where nothing lands.
// Returns false when out cannot be allocated.
bool ApplyMove(const GrayPlane& picture, const RigidMove& move, int width, int height,
               GrayPlane& out, int fill = 255);
