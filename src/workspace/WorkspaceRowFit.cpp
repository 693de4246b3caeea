#include "WorkspaceRowFit.h"

#include <algorithm>

namespace varno::workspaceRow {

int PanelFit::rowShare(PanelShape shape) const
{
    switch (shape) {
    case PanelShape::Hidden:
        return 0;
    case PanelShape::Collapsed:
        return kRevealWidth;
    case PanelShape::Expanded:
        break;
    }
    return isSqueezedOut ? kRevealWidth : width + kDividerWidth;
}

Fit fit(const Demand& demand)
{
    Fit result;
    const auto share = [&](const PanelFit& panel, const PanelDemand& wanted) { return panel.rowShare(wanted.shape); };
    const auto taken = [&] { return share(result.left, demand.left) + share(result.right, demand.right) + result.queueWidth; };

    // First, whether everything fits at its narrowest; if not, a panel
    // steps aside to its reveal button, the right one first.
    if (demand.left.shape == PanelShape::Expanded)
        result.left.width = demand.left.minimumWidth;
    if (demand.right.shape == PanelShape::Expanded)
        result.right.width = demand.right.minimumWidth;
    result.queueWidth = demand.isQueueOpen ? kQueueMinimumWidth : 0;
    const auto squeezeOut = [&](PanelFit& panel, const PanelDemand& wanted) {
        if (wanted.shape == PanelShape::Expanded && taken() + kCentreMinimumWidth > demand.rowWidth) {
            panel.isSqueezedOut = true;
            panel.width = 0;
        }
    };
    squeezeOut(result.right, demand.right);
    squeezeOut(result.left, demand.left);

    // Then each part starts from the width it wants and gives back what the
    // song list lacks, in turn, down to its own minimum.
    if (demand.left.shape == PanelShape::Expanded && !result.left.isSqueezedOut)
        result.left.width = std::max(demand.left.width, demand.left.minimumWidth);
    if (demand.right.shape == PanelShape::Expanded && !result.right.isSqueezedOut)
        result.right.width = std::max(demand.right.width, demand.right.minimumWidth);
    result.queueWidth = demand.isQueueOpen ? kQueueWidth : 0;
    int excess = taken() + kCentreMinimumWidth - demand.rowWidth;
    const auto narrow = [&excess](int& width, int minimum) {
        if (excess <= 0 || width <= minimum)
            return;
        const int given = std::min(excess, width - minimum);
        width -= given;
        excess -= given;
    };
    if (!result.right.isSqueezedOut && demand.right.shape == PanelShape::Expanded)
        narrow(result.right.width, demand.right.minimumWidth);
    if (!result.left.isSqueezedOut && demand.left.shape == PanelShape::Expanded)
        narrow(result.left.width, demand.left.minimumWidth);
    if (demand.isQueueOpen)
        narrow(result.queueWidth, kQueueMinimumWidth);

    result.centreWidth = std::max(0, demand.rowWidth - taken());
    return result;
}

} // namespace varno::workspaceRow
