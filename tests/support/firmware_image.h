// Another firmware image, in both languages, with the digest a build would store.
#pragma once

#include <openssl/sha.h>

#include <vector>

#include "res/resource.h"
#include "res/resource_types.h"
#include "world.h"

inline void UseFirmwareImage(const std::vector<BYTE> &image) {
  std::vector<BYTE> digest(SHA256_DIGEST_LENGTH);
  SHA256(image.data(), image.size(), digest.data());
  for (WORD language : {WORD(1033), WORD(1041)}) {
    world::ReplaceResource(kFirmwareResourceType, MAKEINTRESOURCEA(IDR_FIRMWARE), language, image);
    world::ReplaceResource(kFirmwareDigestResourceType, MAKEINTRESOURCEA(IDR_FIRMWARE_DIGEST),
                           language, digest);
  }
}
