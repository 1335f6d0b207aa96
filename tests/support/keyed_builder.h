// keyed_builder.h -- keyed records built for tests from the description of
// the scheme, apart from the engine's own code: the key of a password, the
// keystream, and a record's stored bytes deflated or LZMA-coded and keyed.
#ifndef CASKWRIGHT_KEYED_BUILDER_H
#define CASKWRIGHT_KEYED_BUILDER_H

#include <string>

#include "grf_builder.h"
#include "test_support.h"

// The 256 key bytes a password (4 to 256 bytes) makes.
Bytes KeyOfPassword(const std::string& password);

// bytes XORed with the keystream of key for a record of realSize bytes.
Bytes Keyed(const Bytes& key, uint32_t realSize, Bytes bytes);

enum class KeyedMethod { kZlib, kLzma };

// content's stored record, keyed: deflated at level 6 (or LZMA-coded),
// zero-filled to a multiple of 8, the whole aligned size keyed; type 0x01.
Stored KeyedContent(const Bytes& key, const std::string& name, const Bytes& content,
                    KeyedMethod method = KeyedMethod::kZlib);

#endif
