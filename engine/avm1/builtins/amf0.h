// The stored form of a SharedObject's data: one AMF0 anonymous object holding the data's
// enumerable properties, with AMF0's reference markers for objects met more than once (so shared
// and cyclic parts come back shared), arrays as ECMA arrays (their named properties kept), dates
// and XML documents. Functions, movie clips and getter/setter properties are not stored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lumarel::engine::avm1 {

class Machine;
class Object;

namespace amf0 {

// Nesting of objects and arrays either way; deeper graphs are not stored, deeper records are broken.
constexpr int kMaxDepth = 256;
// Objects one record may hold (AMF0 numbers references with 16 bits).
constexpr size_t kMaxObjects = 65535;

// `data`'s stored form into `out`: no bytes when it holds nothing to store. False when the graph
// cannot be stored: nested too deep, too many objects, a name or text too long, or more than
// `maxBytes` bytes. Reads values as they are held: no getter or script runs, except the
// toString of XML documents.
bool Encode(Machine& m, Object* data, std::vector<uint8_t>& out, size_t maxBytes);

// A new object made from a record Encode wrote (no bytes: an empty one). Null when the bytes are
// not one whole record: unknown markers, lengths past the end, references to objects not yet
// read, nesting past kMaxDepth, or bytes left over. Objects the record names a registered class
// for (Object.registerClass) get that class's prototype.
Object* Decode(Machine& m, std::span<const uint8_t> bytes);

}  // namespace amf0
}  // namespace lumarel::engine::avm1
