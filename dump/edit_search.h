// Myers' search for a shortest edit script between two sequences of numbers, in linear space:
// each step finds a point of an optimal path halfway (the middle snake) and splits the problem
// there. Used by the record diff; the numbers stand for records.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// Which members of x and y are equal, a run at a time: the search asks how far the pairs
// (x, y), (x + 1, y + 1), ... stay equal, or the pairs before (x, y) going backwards.
class EditEquality {
  public:
    virtual uint32_t Forward(uint32_t x, uint32_t y, uint32_t most) const = 0;
    virtual uint32_t Backward(uint32_t x, uint32_t y, uint32_t most) const = 0;

  protected:
    ~EditEquality() = default;
};

// One side of the search: `count` members, member k standing for record `records[k]`, or for
// record k when `records` is null.
struct EditSide {
    uint32_t count;
    const uint32_t* records;

    uint32_t RecordOf(uint32_t k) const { return records ? records[k] : k; }
};

// Two bounds keep any pair of sequences cheap:
// - as in GNU diff and git, a split that costs more than `limit` edits takes the point that
//   got furthest instead of the middle;
// - once the search has taken `budget` steps in all, what is left of each part is taken as
//   removed from x and added to y, as diff libraries do when their time is up (counted in
//   steps, so that the result does not depend on the machine).
// The script stays correct under both, if longer than the shortest. A search told to stop at
// a bound gives up there instead, leaving the flags unfinished.
class EditSearch {
  public:
    EditSearch(EditSide x, EditSide y, const EditEquality& equality, int limit, uint64_t budget,
               bool stopAtBound);

    // Sets removed[r] for every record r of x off the path and added[r] for those of y. False
    // when it stopped at a bound.
    bool Run(unsigned char* removed, unsigned char* added);

  private:
    struct Box {
        int xoff, xlim, yoff, ylim;
    };
    struct Point {
        int x, y;
    };

    // The furthest x reached on diagonal d (x - y), kept around the middle diagonal of each
    // direction: a search of at most limit steps stays within limit + 1 of it.
    int& Forward(int d) {
        int index = d - forwardMid_ + limit_ + 2;
        return forward_[size_t(index)];
    }
    int& Backward(int d) {
        int index = d - backwardMid_ + limit_ + 2;
        return backward_[size_t(index)];
    }

    static uint32_t Most(const Box& box) {
        return uint32_t(std::min(box.xlim - box.xoff, box.ylim - box.yoff));
    }
    bool OverBudget() const { return steps_ > budget_; }
    void MarkRest(const Box& box, unsigned char* removed, unsigned char* added) const;
    Point Split(const Box& box);
    bool ForwardStep(const Box& box, int& fmin, int& fmax, int bmin, int bmax, bool odd,
                     Point& meet);
    bool BackwardStep(const Box& box, int fmin, int fmax, int& bmin, int& bmax, bool odd,
                      Point& meet);
    Point FurthestPoint(const Box& box, int fmin, int fmax, int bmin, int bmax);

    EditSide x_;
    EditSide y_;
    const EditEquality& equal_;
    int limit_;
    uint64_t budget_;
    bool stopAtBound_;
    bool bounded_ = false; // a split reached the limit or the budget
    uint64_t steps_ = 0;
    int forwardMid_ = 0;
    int backwardMid_ = 0;
    std::vector<int> forward_;
    std::vector<int> backward_;
};
