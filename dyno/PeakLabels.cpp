#include "dyno/PeakLabels.h"

#include <algorithm>
#include <numeric>

namespace quarn {

std::vector<int> StackLabels(const std::vector<LabelSpan>& labels, double gap) {
    std::vector<std::size_t> order(labels.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return labels[a].centre - labels[a].halfWidth < labels[b].centre - labels[b].halfWidth;
    });
    std::vector<int> rows(labels.size(), 0);
    // Taken left to right, a label only meets the rightmost edge of a row.
    std::vector<double> rightEdge;
    for (const std::size_t i : order) {
        const double left = labels[i].centre - labels[i].halfWidth;
        std::size_t row = 0;
        while (row < rightEdge.size() && left < rightEdge[row] + gap) ++row;
        if (row == rightEdge.size()) rightEdge.push_back(0);
        rightEdge[row] = labels[i].centre + labels[i].halfWidth;
        rows[i] = static_cast<int>(row);
    }
    return rows;
}

}  // namespace quarn
