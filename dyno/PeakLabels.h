#pragma once

#include <vector>

namespace quarn {

// A peak label across the chart: its centre and half its width, in pixels.
struct LabelSpan {
    double centre = 0;
    double halfWidth = 0;
};

// Rows for labels laid out in a band above every curve: each label goes to
// the lowest row (0 = nearest the curves) where it keeps gap pixels from
// every label already there, taking the labels from left to right. Returns
// the row of each label, in the order given.
std::vector<int> StackLabels(const std::vector<LabelSpan>& labels, double gap);

}  // namespace quarn
