// KWCommonLib, published object properties: a property of an object set by its name at run time.
// C++ keeps no list of a class's properties, so each class that offers an object-typed property
// for setting by name registers it here once (KWRegisterObjectProperty), with its setter.
#pragma once
#include <functional>
#include <string>

#include "Classes.h"

// One settable object property of a class: its exact name, whether an object is of the declaring
// class (or derived from it), whether a value is an instance of the property's class, and the
// setter.
struct TKWPublishedProperty {
    std::wstring Name;
    std::function<bool(TObject* AObject)> HasProperty;
    std::function<bool(TObject* AValue)> Accepts;
    std::function<void(TObject* AObject, TObject* AValue)> Set;
};

// Adds a property; the properties of one object are searched in the order they were added. A
// second registration of the same name for the same declaring class is ignored.
void KWRegisterObjectProperty(const TKWPublishedProperty& AProperty, const void* AClassKey);

// Registers TClass's property AName of class TValue, written through ASetter.
template <class TClass, class TValue>
void KWRegisterObjectProperty(const std::wstring& AName, void (TClass::*ASetter)(TValue*)) {
    static const char key = 0;   // one per TClass/TValue pair
    TKWPublishedProperty property;
    property.Name = AName;
    property.HasProperty = [](TObject* AObject) { return dynamic_cast<TClass*>(AObject) != nullptr; };
    property.Accepts = [](TObject* AValue) { return !AValue || dynamic_cast<TValue*>(AValue) != nullptr; };
    property.Set = [ASetter](TObject* AObject, TObject* AValue) {
        (dynamic_cast<TClass*>(AObject)->*ASetter)(dynamic_cast<TValue*>(AValue));
    };
    KWRegisterObjectProperty(property, &key);
}

// Sets the first registered property of AObject's class whose name equals APropName exactly (case
// counts) to AValue, when AValue is nil or an instance of the property's class. True when set;
// False without an object, without such a property or when the value's class does not fit.
bool KWSetObjectProperty(TObject* AObject, const std::wstring& APropName, TObject* AValue);
