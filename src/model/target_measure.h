#pragma once
// How far a target moves the source, measured against the size of the source, to spot a target
// whose vertices come in another order than the source's (the reorder mark): such a target
// moves most vertices far across the shape, and the blend then tears the shape apart. Both the
// program's target load and warpkit-export ask this.
#include <cstdint>
#include <vector>

#include "base/geometry.h"

namespace warpkit {

// A vertex "moves far" when it moves by more than this share of the source's bounding-box
// diagonal; a target is suspicious when more than kSuspiciousShare of its vertices do.
// Real expressions move a few vertices far or many vertices a little.
constexpr double kFarShare = 0.25;
constexpr double kSuspiciousShare = 0.5;

// Length of the diagonal of the axis-aligned box around `points`; 0 for none.
double bounding_box_diagonal(const std::vector<Vec3>& points);

struct TargetMeasure {
    int32_t vertex_count = 0;
    int32_t moved = 0;           // vertices whose displacement is not (0, 0, 0)
    double largest = 0.0;        // longest displacement, scene units
    double largest_share = 0.0;  // largest / diagonal; 0 when the diagonal is 0
    int32_t far = 0;             // vertices moving by more than kFarShare of the diagonal
    bool suspicious = false;     // far > kSuspiciousShare of the vertices
};

// `displacements`: target minus source per vertex; `diagonal`: the source's box diagonal.
// A source without extent (diagonal 0) has no scale to judge by and is never suspicious.
TargetMeasure measure_target(const std::vector<Vec3>& displacements, double diagonal);

// The same for a target given by its positions, vertex for vertex against the source's
// (both of one length): the measure of target - source against the source's diagonal.
TargetMeasure measure_target_positions(const std::vector<Vec3>& source,
                                       const std::vector<Vec3>& target);

}  // namespace warpkit
