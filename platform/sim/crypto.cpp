// CNG's SHA-256 over OpenSSL's: a real implementation made for it, not one of
// our own. Providers and hash objects sit in the handle table, so the world
// counts one left open.
#include <openssl/evp.h>

#include "internal/kernel.h"
#include "win32_crypto.h"

namespace sim {
namespace {

constexpr NTSTATUS kSuccess = 0;
constexpr NTSTATUS kInvalidHandle = NTSTATUS(0xC0000008u);
constexpr NTSTATUS kInvalidParameter = NTSTATUS(0xC000000Du);
constexpr NTSTATUS kNotFound = NTSTATUS(0xC0000225u);
constexpr NTSTATUS kNoMemory = NTSTATUS(0xC0000017u);
constexpr ULONG kSha256Size = 32;

// A provider has no context; a hash has one until it is finished.
struct CryptoObject : KernelObject {
  explicit CryptoObject(bool isHash) : KernelObject(Kind::crypto), hash(isHash) {}
  ~CryptoObject() override { EVP_MD_CTX_free(context); }
  const bool hash;
  EVP_MD_CTX *context = nullptr;
};

std::shared_ptr<CryptoObject> LookUp(void *handle, bool hash) {
  std::shared_ptr<KernelObject> object = LookUpHandle(handle);
  if (!object || object->kind != KernelObject::Kind::crypto) return nullptr;
  auto crypto = std::static_pointer_cast<CryptoObject>(object);
  return crypto->hash == hash ? crypto : nullptr;
}

NTSTATUS Close(void *handle, bool hash) {
  if (!LookUp(handle, hash)) return kInvalidHandle;
  RemoveHandle(handle);
  return kSuccess;
}

}  // namespace
}  // namespace sim

NTSTATUS WINAPI BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE *algorithm, LPCWSTR algorithmId,
                                            LPCWSTR implementation, ULONG flags) {
  if (algorithm == nullptr || algorithmId == nullptr || flags != 0) return sim::kInvalidParameter;
  if (std::u16string(algorithmId) != BCRYPT_SHA256_ALGORITHM || implementation != nullptr)
    return sim::kNotFound;
  *algorithm = sim::InsertHandle(std::make_shared<sim::CryptoObject>(false));
  return sim::kSuccess;
}

NTSTATUS WINAPI BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm, ULONG) {
  return sim::Close(algorithm, false);
}

NTSTATUS WINAPI BCryptCreateHash(BCRYPT_ALG_HANDLE algorithm, BCRYPT_HASH_HANDLE *hash,
                                 PUCHAR hashObject, ULONG hashObjectSize, PUCHAR secret,
                                 ULONG secretSize, ULONG flags) {
  if (!sim::LookUp(algorithm, false)) return sim::kInvalidHandle;
  if (hash == nullptr || hashObject != nullptr || hashObjectSize != 0 || secret != nullptr ||
      secretSize != 0 || flags != 0)
    return sim::kInvalidParameter;
  auto object = std::make_shared<sim::CryptoObject>(true);
  object->context = EVP_MD_CTX_new();
  if (object->context == nullptr || EVP_DigestInit_ex(object->context, EVP_sha256(), nullptr) != 1)
    return sim::kNoMemory;
  *hash = sim::InsertHandle(object);
  return sim::kSuccess;
}

NTSTATUS WINAPI BCryptHashData(BCRYPT_HASH_HANDLE hash, PUCHAR input, ULONG inputSize, ULONG) {
  std::shared_ptr<sim::CryptoObject> object = sim::LookUp(hash, true);
  if (!object) return sim::kInvalidHandle;
  if (object->context == nullptr || (input == nullptr && inputSize != 0))
    return sim::kInvalidParameter;
  if (inputSize != 0 && EVP_DigestUpdate(object->context, input, inputSize) != 1)
    return sim::kInvalidParameter;
  return sim::kSuccess;
}

// A finished hash takes nothing more: CNG's reusable hashes are not modelled.
NTSTATUS WINAPI BCryptFinishHash(BCRYPT_HASH_HANDLE hash, PUCHAR output, ULONG outputSize, ULONG) {
  std::shared_ptr<sim::CryptoObject> object = sim::LookUp(hash, true);
  if (!object) return sim::kInvalidHandle;
  if (object->context == nullptr || output == nullptr || outputSize != sim::kSha256Size)
    return sim::kInvalidParameter;
  unsigned int size = 0;
  bool done = EVP_DigestFinal_ex(object->context, output, &size) == 1;
  EVP_MD_CTX_free(object->context);
  object->context = nullptr;
  return done && size == sim::kSha256Size ? sim::kSuccess : sim::kInvalidParameter;
}

NTSTATUS WINAPI BCryptDestroyHash(BCRYPT_HASH_HANDLE hash) { return sim::Close(hash, true); }
