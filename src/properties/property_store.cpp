#include "properties/property_store.h"
#include <tallyx/tallyx.h>
namespace tallyx {
int32_t PropertyStore::Set(const char*, const char*, bool) { return RETCODE_ERR_INVALIDPROPERTY; }
int32_t PropertyStore::Get(const char*, char*, uint32_t, bool) const { return RETCODE_ERR_INVALIDPROPERTY; }
}  // namespace tallyx
