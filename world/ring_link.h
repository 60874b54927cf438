// An intrusive link that ties an element into a circular doubly linked ring
// with no head and no count; the fog of war and the shape code keep their
// per-shape rings with it. A link on its own is a ring of one.
#pragma once

struct RingLink {
    void* owner = nullptr;
    RingLink* next = this;
    RingLink* previous = this;

    RingLink() = default;
    // Copying would leave the neighbours pointing at the original.
    RingLink(const RingLink&) = delete;
    RingLink& operator=(const RingLink&) = delete;

    void Init(void* newOwner)
    {
        owner = newOwner;
        next = previous = this;
    }

    // Takes the link out of its ring and leaves it a ring of one, so a second
    // unlink, or one of a link that was never in a ring, changes nothing.
    void Unlink()
    {
        previous->next = next;
        next->previous = previous;
        next = previous = this;
    }

    // Moves this link out of its ring to just before `other` in other's ring.
    RingLink* MoveBefore(RingLink* other)
    {
        if (other == this)
            return other;
        Unlink();
        next = other;
        previous = other->previous;
        other->previous->next = this;
        other->previous = this;
        return other;
    }
};
