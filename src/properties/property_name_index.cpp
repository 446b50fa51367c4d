#include "properties/property_name_index.h"

#include <cstring>

namespace tallyx {

PropertyNameIndex::PropertyNameIndex() = default;

PropertyNameIndex::~PropertyNameIndex() {
    for (Node*& head : buckets_) {
        while (head != nullptr) {
            Node* next = head->next;
            delete head;
            head = next;
        }
    }
}

const PropertyNameIndex& PropertyNameIndex::Library() {
    // A function-local static is initialised exactly once, even when several
    // threads create their first contexts at the same time.
    static const PropertyNameIndex* const index = [] {
        static PropertyNameIndex built;
        for (const PropertyDescriptor& descriptor : PropertyDescriptors()) built.Insert(descriptor);
        return &built;
    }();
    return *index;
}

uint32_t PropertyNameIndex::Bucket(const char* name) {
    // Character codes are taken as unsigned so that bytes above 127 cannot make
    // the sum negative; the unsigned sum wraps harmlessly on absurdly long names.
    uint32_t sum = 0;
    for (const char* p = name; *p != '\0'; ++p) sum += static_cast<unsigned char>(*p);
    return sum % kBucketCount;
}

PropertyNameIndex::Node* PropertyNameIndex::FindNode(const char* name) const {
    for (Node* node = buckets_[Bucket(name)]; node != nullptr; node = node->next) {
        if (std::strcmp(node->name, name) == 0) return node;
    }
    return nullptr;
}

void PropertyNameIndex::Insert(const PropertyDescriptor& descriptor) {
    if (Node* existing = FindNode(descriptor.name)) {
        existing->descriptor = &descriptor;
        return;
    }
    Node*& head = buckets_[Bucket(descriptor.name)];
    Node* node = new Node{descriptor.name, &descriptor, nullptr, head};
    if (head != nullptr) head->previous = node;
    head = node;
    ++count_;
}

const PropertyDescriptor* PropertyNameIndex::Find(const char* name) const {
    if (name == nullptr) return nullptr;
    Node* node = FindNode(name);
    return node != nullptr ? node->descriptor : nullptr;
}

}  // namespace tallyx
