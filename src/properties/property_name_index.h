#pragma once
// The library-wide index from a property name to its descriptor: a chained hash
// map with 31 buckets, where a name's bucket is the sum of its character codes.
// Names are compared exactly, so they are case-sensitive.
#include <cstdint>

#include "properties/property_descriptor.h"

namespace tallyx {

class PropertyNameIndex {
public:
    static constexpr uint32_t kBucketCount = 31;

    PropertyNameIndex();
    ~PropertyNameIndex();

    PropertyNameIndex(const PropertyNameIndex&) = delete;
    PropertyNameIndex& operator=(const PropertyNameIndex&) = delete;

    // The index of every property, built on first use; safe to call from
    // several threads at once, and never changed afterwards.
    static const PropertyNameIndex& Library();

    static uint32_t Bucket(const char* name);

    // A name already present keeps its node and takes the new descriptor.
    void Insert(const PropertyDescriptor& descriptor);
    // The descriptor of the name, or null for a name that is not a property.
    const PropertyDescriptor* Find(const char* name) const;
    uint32_t Count() const { return count_; }

private:
    struct Node {
        const char* name;
        const PropertyDescriptor* descriptor;
        Node* previous;
        Node* next;
    };

    Node* FindNode(const char* name) const;

    Node* buckets_[kBucketCount] = {};
    uint32_t count_ = 0;
};

}  // namespace tallyx
