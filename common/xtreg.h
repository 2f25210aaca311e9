#pragma once
// Registry form of an object's published properties, one value (or, for sets and
// objects, one subkey) per property, named like the property:
//
//   Integer, Char, WideChar      REG_DWORD, the ordinal (a character's code)
//   Enumeration, Boolean         REG_SZ, the element's identifier ("True", "False")
//   Float kinds, Currency, dates REG_BINARY, the IEEE 754 double, 8 bytes little-endian
//   String                       REG_SZ
//   Variant                      REG_SZ, the variant's text
//   Set                          subkey, one REG_DWORD per element: 1 in the set, 0 not
//   Class                        subkey holding the referenced object (none: no subkey)
//   Method                       REG_SZ, the handler's published name ("" for none)
//   Int64                        not stored

#include <string>

#include "common/properties.h"
#include "platform/registry/registry.h"

namespace tolver {

// Replaces everything under key (root rootKey) with the published properties of
// obj, in one transaction: a failure leaves the former content whole. Raises
// ERegistryException "Cannot create key: %s" when a key cannot be made; errors of
// the property getters pass to the caller.
void SaveObjectToRegistry(const TPersistent& obj, HKEY rootKey, const std::string& key);

// Reads the published properties of obj back from key, from one consistent view of
// the store. Never raises: a missing key changes nothing, a missing value leaves its
// property alone, and the first value of a wrong type or size, or that does not
// convert (an enumeration text that names no element), ends the reading there.
void LoadObjectFromRegistry(TPersistent& obj, HKEY rootKey, const std::string& key);

// One property against the accessor's current key. A set or object property goes
// into the subkey named like it; the accessor is back at its key afterwards.
void WritePropToRegistry(const TPersistent& obj, const PropInfo& prop, TRegistry& registry);
// Raises on a mistyped value or a failed conversion; an absent value changes nothing.
void ReadPropFromRegistry(TPersistent& obj, const PropInfo& prop, TRegistry& registry);

// A settings blob: the REG_BINARY value name of the accessor's current key holding
// the VariantToBuf encoding of a variant. An absent, empty or unreadable value leaves
// data alone; never raises.
void ReadVariantBlob(const TRegistry& registry, const std::string& name, Variant& data);

}  // namespace tolver
