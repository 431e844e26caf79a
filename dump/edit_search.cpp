#include "dump/edit_search.h"

#include <algorithm>
#include <climits>

EditSearch::EditSearch(EditSide x, EditSide y, const EditEquality& equality, int limit,
                       uint64_t budget, bool stopAtBound)
    : x_(x), y_(y), equal_(equality), limit_(limit), budget_(budget), stopAtBound_(stopAtBound),
      forward_(size_t(2 * limit + 5)), backward_(size_t(2 * limit + 5)) {}

bool EditSearch::Run(unsigned char* removed, unsigned char* added) {
    std::vector<Box> boxes{{0, int(x_.count), 0, int(y_.count)}};
    while (!boxes.empty()) {
        Box box = boxes.back();
        boxes.pop_back();
        int head = int(equal_.Forward(uint32_t(box.xoff), uint32_t(box.yoff), Most(box)));
        box.xoff += head, box.yoff += head;
        int tail = int(equal_.Backward(uint32_t(box.xlim), uint32_t(box.ylim), Most(box)));
        box.xlim -= tail, box.ylim -= tail;
        if (box.xoff == box.xlim || box.yoff == box.ylim || OverBudget()) {
            MarkRest(box, removed, added);
            continue;
        }
        Point split = Split(box);
        if (bounded_ && stopAtBound_)
            return false;
        boxes.push_back({split.x, box.xlim, split.y, box.ylim});
        boxes.push_back({box.xoff, split.x, box.yoff, split.y});
    }
    return true;
}

void EditSearch::MarkRest(const Box& box, unsigned char* removed, unsigned char* added) const {
    for (int k = box.xoff; k < box.xlim; ++k)
        removed[x_.RecordOf(uint32_t(k))] = 1;
    for (int k = box.yoff; k < box.ylim; ++k)
        added[y_.RecordOf(uint32_t(k))] = 1;
}

EditSearch::Point EditSearch::Split(const Box& box) {
    forwardMid_ = box.xoff - box.yoff;
    backwardMid_ = box.xlim - box.ylim;
    int fmin = forwardMid_, fmax = forwardMid_;
    int bmin = backwardMid_, bmax = backwardMid_;
    const bool odd = ((forwardMid_ - backwardMid_) & 1) != 0;
    Forward(forwardMid_) = box.xoff;
    Backward(backwardMid_) = box.xlim;
    Point meet{};
    for (int cost = 1;; ++cost) {
        if (ForwardStep(box, fmin, fmax, bmin, bmax, odd, meet) ||
            BackwardStep(box, fmin, fmax, bmin, bmax, odd, meet))
            return meet;
        if (cost >= limit_ || OverBudget()) {
            bounded_ = true;
            return FurthestPoint(box, fmin, fmax, bmin, bmax);
        }
    }
}

// One more edit forwards on every diagonal in reach; true when a path meets the backward one.
bool EditSearch::ForwardStep(const Box& box, int& fmin, int& fmax, int bmin, int bmax, bool odd,
                             Point& meet) {
    if (fmin > box.xoff - box.ylim)
        Forward(--fmin - 1) = -1;
    else
        ++fmin;
    if (fmax < box.xlim - box.yoff)
        Forward(++fmax + 1) = -1;
    else
        --fmax;
    for (int d = fmax; d >= fmin; d -= 2) {
        int low = Forward(d - 1), high = Forward(d + 1);
        int start = low < high ? high : low + 1;
        // A start outside the box (one step past a side) has nothing left to compare.
        int most = std::min(box.xlim - start, box.ylim - (start - d));
        int at = start;
        if (most > 0)
            at += int(equal_.Forward(uint32_t(start), uint32_t(start - d), uint32_t(most)));
        steps_ += uint64_t(at - start) + 1;
        Forward(d) = at;
        if (odd && bmin <= d && d <= bmax && Backward(d) <= at) {
            meet = {at, at - d};
            return true;
        }
    }
    return false;
}

bool EditSearch::BackwardStep(const Box& box, int fmin, int fmax, int& bmin, int& bmax, bool odd,
                              Point& meet) {
    if (bmin > box.xoff - box.ylim)
        Backward(--bmin - 1) = INT_MAX;
    else
        ++bmin;
    if (bmax < box.xlim - box.yoff)
        Backward(++bmax + 1) = INT_MAX;
    else
        --bmax;
    for (int d = bmax; d >= bmin; d -= 2) {
        int low = Backward(d - 1), high = Backward(d + 1);
        int start = low < high ? low : high - 1;
        int most = std::min(start - box.xoff, start - d - box.yoff);
        int at = start;
        if (most > 0)
            at -= int(equal_.Backward(uint32_t(start), uint32_t(start - d), uint32_t(most)));
        steps_ += uint64_t(start - at) + 1;
        Backward(d) = at;
        if (!odd && fmin <= d && d <= fmax && at <= Forward(d)) {
            meet = {at, at - d};
            return true;
        }
    }
    return false;
}

// The point, forward or backward, that covers the most of x and y together.
EditSearch::Point EditSearch::FurthestPoint(const Box& box, int fmin, int fmax, int bmin,
                                            int bmax) {
    int forwardBest = -1, forwardX = 0;
    for (int d = fmax; d >= fmin; d -= 2) {
        int x = std::min(Forward(d), box.xlim);
        int y = x - d;
        if (y > box.ylim)
            x = box.ylim + d, y = box.ylim;
        if (x + y > forwardBest)
            forwardBest = x + y, forwardX = x;
    }
    int backwardBest = INT_MAX, backwardX = 0;
    for (int d = bmax; d >= bmin; d -= 2) {
        int x = std::max(box.xoff, Backward(d));
        int y = x - d;
        if (y < box.yoff)
            x = box.yoff + d, y = box.yoff;
        if (x + y < backwardBest)
            backwardBest = x + y, backwardX = x;
    }
    if (box.xlim + box.ylim - backwardBest < forwardBest - (box.xoff + box.yoff))
        return {forwardX, forwardBest - forwardX};
    return {backwardX, backwardBest - backwardX};
}
