// CNG's hashing (bcrypt.dll), as the model provides it: SHA-256 only.
#pragma once

#include "win32_types.h"

typedef LONG NTSTATUS;
typedef void *BCRYPT_HANDLE;
typedef void *BCRYPT_ALG_HANDLE;
typedef void *BCRYPT_HASH_HANDLE;
typedef UCHAR *PUCHAR;

#define BCRYPT_SUCCESS(status) (((NTSTATUS)(status)) >= 0)
#define BCRYPT_SHA256_ALGORITHM u"SHA256"

NTSTATUS WINAPI BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE *algorithm, LPCWSTR algorithmId,
                                            LPCWSTR implementation, ULONG flags);
NTSTATUS WINAPI BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm, ULONG flags);
// Only without an object buffer: CNG then keeps the hash object itself.
NTSTATUS WINAPI BCryptCreateHash(BCRYPT_ALG_HANDLE algorithm, BCRYPT_HASH_HANDLE *hash,
                                 PUCHAR hashObject, ULONG hashObjectSize, PUCHAR secret,
                                 ULONG secretSize, ULONG flags);
NTSTATUS WINAPI BCryptHashData(BCRYPT_HASH_HANDLE hash, PUCHAR input, ULONG inputSize, ULONG flags);
NTSTATUS WINAPI BCryptFinishHash(BCRYPT_HASH_HANDLE hash, PUCHAR output, ULONG outputSize,
                                 ULONG flags);
NTSTATUS WINAPI BCryptDestroyHash(BCRYPT_HASH_HANDLE hash);
