// Nothing unverified is sent: the image must still have the SHA-256 the build
// stored beside it, computed with the platform's own hashing (CNG).
#pragma once

#include <cstdint>

#include "platform/win32.h"

constexpr ULONG kImageDigestSize = 32;

// 1 when the SHA-256 of the `length` bytes at `image` equals the
// kImageDigestSize bytes at `digest`; 0 when not, or when it cannot be computed.
int ImageMatchesDigest(const BYTE *image, uint32_t length, const BYTE *digest);
// 1 when the image matches the digest stored in the program's resources. 0
// when it does not, or when no digest is stored, with the reason "firmware
// image damaged" recorded.
int CheckImage(const BYTE *image, uint32_t length);

// The firmware image in the program's resources, read in place: never copied
// or freed.
struct FirmwareImage {
  const BYTE *bytes;
  uint32_t length;
};
// Finds it: false when the program carries none.
bool FindImage(FirmwareImage *image);
// 1 when the program carries its image and the image matches its digest; 0,
// with the reason recorded, when this copy of the program is damaged and can
// never send anything.
int CheckOwnImage(void);
