#include "image_check.h"

#include "port/port_failure.h"
#include "res/resource.h"
#include "res/resource_types.h"

namespace {

int Sha256(const BYTE *bytes, uint32_t length, BYTE *digest) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
    return 0;
  // No buffer for the hash object: since Windows 7 CNG keeps it itself.
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool done =
      BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0)) &&
      (length == 0 || BCRYPT_SUCCESS(BCryptHashData(hash, const_cast<PUCHAR>(bytes), length, 0))) &&
      BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, kImageDigestSize, 0));
  if (hash != nullptr) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return done ? 1 : 0;
}

// The digest the build stored, read in place like the image; null when there
// is none of the right size.
const BYTE *StoredDigest(void) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found =
      FindResourceA(module, MAKEINTRESOURCEA(IDR_FIRMWARE_DIGEST), kFirmwareDigestResourceType);
  if (found == nullptr || SizeofResource(module, found) != kImageDigestSize) return nullptr;
  return static_cast<const BYTE *>(LockResource(LoadResource(module, found)));
}

}  // namespace

int ImageMatchesDigest(const BYTE *image, uint32_t length, const BYTE *digest) {
  BYTE actual[kImageDigestSize] = {};
  if (digest == nullptr || !Sha256(image, length, actual)) return 0;
  BYTE difference = 0;
  for (ULONG i = 0; i < kImageDigestSize; ++i) difference |= actual[i] ^ digest[i];
  return difference == 0 ? 1 : 0;
}

int CheckImage(const BYTE *image, uint32_t length) {
  if (ImageMatchesDigest(image, length, StoredDigest())) return 1;
  PortNoteFailure("firmware image damaged", 0);
  return 0;
}

bool FindImage(FirmwareImage *image) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDR_FIRMWARE), kFirmwareResourceType);
  if (found == nullptr) return false;
  image->length = SizeofResource(module, found);
  image->bytes = static_cast<const BYTE *>(LockResource(LoadResource(module, found)));
  return image->bytes != nullptr || image->length == 0;
}

int CheckOwnImage(void) {
  FirmwareImage image = {};
  if (!FindImage(&image)) return PortNoteFailureContext("firmware resource");
  return CheckImage(image.bytes, image.length);
}
