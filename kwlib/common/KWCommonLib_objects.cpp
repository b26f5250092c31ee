#include "KWCommonLib_objects.h"

#include <mutex>
#include <utility>
#include <vector>

namespace {

struct TRegistered {
    TKWPublishedProperty Property;
    const void* ClassKey;
};

std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}

std::vector<TRegistered>& Registry() {
    static std::vector<TRegistered> registry;
    return registry;
}

}  // namespace

void KWRegisterObjectProperty(const TKWPublishedProperty& AProperty, const void* AClassKey) {
    std::lock_guard<std::mutex> guard(RegistryLock());
    for (const TRegistered& entry : Registry())
        if (entry.ClassKey == AClassKey && entry.Property.Name == AProperty.Name) return;
    Registry().push_back({AProperty, AClassKey});
}

bool KWSetObjectProperty(TObject* AObject, const std::wstring& APropName, TObject* AValue) {
    if (!AObject) return false;
    TKWPublishedProperty found;
    {
        std::lock_guard<std::mutex> guard(RegistryLock());
        for (const TRegistered& entry : Registry()) {
            if (entry.Property.Name == APropName && entry.Property.HasProperty(AObject)) {
                found = entry.Property;
                break;
            }
        }
    }
    // The setter runs outside the lock: it may register or set properties itself.
    if (!found.Set || !found.Accepts(AValue)) return false;
    found.Set(AObject, AValue);
    return true;
}
