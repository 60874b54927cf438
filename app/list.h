// The engine's doubly linked list: a sentinel node, a count, and a cache of
// payload addresses for access by position that every change drops. Used for
// registries, order lists, fonts, emitters and most other engine lists.
// No lock of its own: shared lists are guarded by their owner's lock.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

template <typename T>
class List {
public:
    struct Node {
        Node* prev;
        Node* next;
    };

private:
    struct ValueNode : Node {
        template <typename... Args>
        explicit ValueNode(Args&&... args) : Node{nullptr, nullptr}, value(std::forward<Args>(args)...) {}
        T value;
    };

public:
    List() { sentinel_.prev = sentinel_.next = &sentinel_; }
    explicit List(const T& value) : List() { PushBack(value); } // ListWithValue
    ~List() { Clear(); }
    // The sentinel's address is part of every node's links: lists neither copy
    // nor move implicitly.
    List(const List&) = delete;
    List& operator=(const List&) = delete;

    // Empties this list, then appends every payload of `other` in order.
    void CopyFrom(const List& other)
    {
        if (&other == this)
            return;
        Clear();
        for (const Node* n = other.sentinel_.next; n != &other.sentinel_; n = n->next)
            PushBack(static_cast<const ValueNode*>(n)->value);
    }

    int32_t Count() const { return count_; }
    bool IsEmpty() const { return count_ == 0; }

    template <typename... Args>
    Node* PushBack(Args&&... args) { return InsertBefore(&sentinel_, std::forward<Args>(args)...); }

    template <typename... Args>
    Node* PushFront(Args&&... args) { return InsertBefore(sentinel_.next, std::forward<Args>(args)...); }

    // New node holding the payload, placed before `position` (a node of this
    // list or End()).
    template <typename... Args>
    Node* InsertBefore(Node* position, Args&&... args)
    {
        Node* node = new ValueNode(std::forward<Args>(args)...);
        node->next = position;
        node->prev = position->prev;
        position->prev->next = node;
        position->prev = node;
        ++count_;
        InvalidateIndex();
        return node;
    }

    void PopBack()
    {
        if (count_ != 0)
            RemoveNode(sentinel_.prev);
    }

    void PopFront()
    {
        if (count_ != 0)
            RemoveNode(sentinel_.next);
    }

    // Unlinks and deletes `node`, which must belong to this list.
    void RemoveNode(Node* node)
    {
        assert(node != &sentinel_);
        node->prev->next = node->next;
        node->next->prev = node->prev;
        delete static_cast<ValueNode*>(node);
        --count_;
        InvalidateIndex();
    }

    // Removes the first node whose payload equals `value`; true when found.
    bool Remove(const T& value)
    {
        Node* node = FindNode(value);
        if (!node)
            return false;
        RemoveNode(node);
        return true;
    }

    void Clear()
    {
        while (count_ != 0)
            RemoveNode(sentinel_.next);
    }

    Node* FindNode(const T& value) const
    {
        for (Node* n = sentinel_.next; n != &sentinel_; n = n->next) {
            if (static_cast<ValueNode*>(n)->value == value)
                return n;
        }
        return nullptr;
    }

    // First and last nodes; End() when empty.
    Node* First() const { return sentinel_.next; }
    Node* Last() const { return sentinel_.prev; }
    Node* End() const { return const_cast<Node*>(&sentinel_); }

    // Payload of a node that is not the sentinel.
    static T* NodeValue(Node* node) { return &static_cast<ValueNode*>(node)->value; }

    // Payload at `position` in list order, or null at or beyond the count.
    // The first call after a change walks the list once; later calls index.
    T* At(int32_t position)
    {
        if (position < 0 || position >= count_)
            return nullptr;
        if (!indexValid_) {
            index_.clear();
            index_.reserve(static_cast<size_t>(count_) + 1);
            for (Node* n = sentinel_.next; n != &sentinel_; n = n->next)
                index_.push_back(NodeValue(n));
            indexValid_ = true;
        }
        return index_[static_cast<size_t>(position)];
    }

    void InvalidateIndex()
    {
        index_.clear();
        indexValid_ = false;
    }

    bool IsIndexValid() const { return indexValid_; }

    // Walks the list from the first node; Erase is the way to remove the
    // current node while walking.
    class Iterator {
    public:
        explicit Iterator(List& list) : list_(&list), node_(list.sentinel_.next) {}
        void Next() { node_ = node_->next; }
        void NextUnlessEnd()
        {
            if (!AtEnd())
                Next();
        }
        bool AtEnd() const { return node_ == &list_->sentinel_; }
        T* Get() const { return AtEnd() ? nullptr : NodeValue(node_); }
        // Payload of the following node, null when that is the end.
        T* PeekNext() const { return node_->next == &list_->sentinel_ ? nullptr : NodeValue(node_->next); }
        Node* CurrentNode() const { return node_; }
        // Steps on and deletes the node left behind; nothing at the end.
        void Erase()
        {
            if (AtEnd())
                return;
            Node* gone = node_;
            node_ = node_->next;
            list_->RemoveNode(gone);
        }

    private:
        List* list_;
        Node* node_;
    };

    // Cycles through the payloads without end, skipping the sentinel. The
    // list must not be empty.
    class CyclicIterator {
    public:
        explicit CyclicIterator(List& list) : list_(&list), node_(list.sentinel_.next) {}
        T* Get()
        {
            assert(!list_->IsEmpty());
            if (node_ == &list_->sentinel_)
                node_ = node_->next;
            return NodeValue(node_);
        }
        void Next() { node_ = node_->next; }

    private:
        List* list_;
        Node* node_;
    };

    // Range-for over payloads (no removal while walking this way).
    class RangeIterator {
    public:
        explicit RangeIterator(Node* node) : node_(node) {}
        T& operator*() const { return *NodeValue(node_); }
        RangeIterator& operator++()
        {
            node_ = node_->next;
            return *this;
        }
        bool operator!=(const RangeIterator& other) const { return node_ != other.node_; }

    private:
        Node* node_;
    };
    RangeIterator begin() const { return RangeIterator(sentinel_.next); }
    RangeIterator end() const { return RangeIterator(End()); }

private:
    Node sentinel_{nullptr, nullptr};
    int32_t count_ = 0;
    std::vector<T*> index_;
    bool indexValid_ = false;
};
