#pragma once
// A list in arrival order whose removals leave holes, so that taking an item out costs the same
// whatever the list holds: each item keeps its place (an index into the slots) until the holes are
// closed, which moves every item once and tells its owner of the new place.
//
// Holes at either end go at once: the last slot and the first slot in use are never holes (the
// slots before Begin() are gone). Holes inside stay until Close. An index among the items (holes
// not counted) is only meaningful once the list is closed; the owner decides when to close:
// before such a look-up, or when Sparse says the holes outnumber the items.
//
// The nearest item before or after a place is found through the holes between in about constant
// time: each hole links to a place further on in each direction, the links shortened on every
// walk (made at the first walk, kept from then until the list is closed).
//
// TSlot is a pointer or a std::unique_ptr: a hole is an empty one.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

template <class TSlot>
class THoleList {
public:
    static constexpr size_t NoPlace = SIZE_MAX;

    // The places in use are Begin() .. End() - 1, holes among them.
    size_t Begin() const { return First; }
    size_t End() const { return Slots.size(); }
    size_t Count() const { return Slots.size() - First - Holes; }
    bool Empty() const { return Slots.empty(); }
    // No holes, inside or gone at the front: the item at Index is at place Index.
    bool Closed() const { return First == 0 && Holes == 0; }
    // More places are holes than items.
    bool Sparse() const { return 2 * (First + Holes) > Slots.size(); }

    TSlot& operator[](size_t Place) { return Slots[Place]; }
    const TSlot& operator[](size_t Place) const { return Slots[Place]; }
    TSlot& Back() { return Slots.back(); }
    // Every slot from place 0, those gone and the holes empty: once Closed(), the items in order.
    const std::vector<TSlot>& AllSlots() const { return Slots; }
    // The slots in use, holes among them.
    auto begin() { return Slots.begin() + std::ptrdiff_t(First); }
    auto end() { return Slots.end(); }
    auto begin() const { return Slots.begin() + std::ptrdiff_t(First); }
    auto end() const { return Slots.end(); }

    // Appends Item; answers its place.
    size_t Push(TSlot Item) {
        try {
            if (Linked()) {
                Before.push_back(Slots.size() - 1);
                After.push_back(Slots.size() + 1);
            }
            Slots.push_back(std::move(Item));
        } catch (...) {
            Unlink();
            throw;
        }
        return Slots.size() - 1;
    }

    // Takes the item at Place out, leaving a hole there; holes that end up at either end go.
    TSlot Take(size_t Place) {
        TSlot gone = std::move(Slots[Place]);
        Slots[Place] = TSlot{};
        if (Place + 1 == Slots.size()) {
            Slots.pop_back();
            for (; Slots.size() > First && !Slots.back(); --Holes) Slots.pop_back();
        } else if (Place == First) {
            for (++First; !Slots[First]; --Holes) ++First;
        } else {
            ++Holes;
        }
        if (Slots.size() == First) Clear();
        if (Linked()) {
            Before.resize(Slots.size());
            After.resize(Slots.size());
        }
        return gone;
    }

    // Moves the items over the holes, keeping their order; Moved(Item, From, To) is told of each
    // item kept (moved or not), in order, after it took place To.
    template <class TMoved>
    void Close(TMoved Moved) {
        size_t kept = 0;
        for (size_t from = First; from < Slots.size(); ++from) {
            if (!Slots[from]) continue;
            if (from != kept) Slots[kept] = std::move(Slots[from]);
            Moved(Slots[kept], from, kept);
            ++kept;
        }
        Slots.resize(kept);
        First = Holes = 0;
        Unlink();
    }

    void Clear() {
        Slots.clear();
        First = Holes = 0;
        Unlink();
    }

    // The place of the nearest item before (after) Place, NoPlace when there is none.
    size_t Previous(size_t Place) const {
        const size_t at = Place > First ? Reach(Before, Place - 1) : NoPlace;
        return at != NoPlace && at >= First ? at : NoPlace;
    }
    size_t Next(size_t Place) const {
        const size_t at = Place + 1 < Slots.size() ? Reach(After, Place + 1) : NoPlace;
        return at < Slots.size() ? at : NoPlace;
    }

private:
    bool Linked() const { return !Before.empty(); }
    void Unlink() {
        Before.clear();
        After.clear();
    }
    // Each place links to its neighbour: an item's link is never followed.
    void Link() const {
        Before.resize(Slots.size());
        After.resize(Slots.size());
        for (size_t at = 0; at < Slots.size(); ++at) {
            Before[at] = at - 1;  // wraps to NoPlace at 0
            After[at] = at + 1;
        }
    }
    // The first item from Place on along Links (a place outside the slots when none), every hole
    // passed then linked straight to it.
    size_t Reach(std::vector<size_t>& Links, size_t Place) const {
        if (Holes == 0) return Place;  // every place in use holds an item
        if (!Linked()) Link();
        size_t at = Place;
        while (at < Slots.size() && at >= First && !Slots[at]) at = Links[at];
        for (size_t hole = Place; hole != at && hole < Slots.size() && hole >= First && !Slots[hole];)
            hole = std::exchange(Links[hole], at);
        return at;
    }

    std::vector<TSlot> Slots;
    size_t First = 0;  // the slots before it are gone
    size_t Holes = 0;  // holes between First and the end
    // Where each place links before and after it, once a walk needed them.
    mutable std::vector<size_t> Before, After;
};
