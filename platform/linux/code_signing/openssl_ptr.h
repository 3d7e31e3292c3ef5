// Sole ownership of OpenSSL objects: each is freed by its own free function, on every path.
#pragma once

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <memory>

namespace tarnel::linux_platform {

template <auto Free>
struct OpenSslFree {
  template <class T>
  void operator()(T* object) const {
    Free(object);
  }
};

using BioPtr = std::unique_ptr<BIO, OpenSslFree<BIO_free_all>>;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, OpenSslFree<CMS_ContentInfo_free>>;
using EvpMdCtxPtr = std::unique_ptr<EVP_MD_CTX, OpenSslFree<EVP_MD_CTX_free>>;
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslFree<EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, OpenSslFree<X509_free>>;
using X509StorePtr = std::unique_ptr<X509_STORE, OpenSslFree<X509_STORE_free>>;
using X509StoreCtxPtr = std::unique_ptr<X509_STORE_CTX, OpenSslFree<X509_STORE_CTX_free>>;
using ASN1TypePtr = std::unique_ptr<ASN1_TYPE, OpenSslFree<ASN1_TYPE_free>>;

// A stack of certificates that owns them.
inline void freeCertificateStack(STACK_OF(X509) * stack) { sk_X509_pop_free(stack, X509_free); }
using X509StackPtr = std::unique_ptr<STACK_OF(X509), OpenSslFree<freeCertificateStack>>;

// A stack of certificates that some other object owns.
inline void freeStackOnly(STACK_OF(X509) * stack) { sk_X509_free(stack); }
using X509BorrowedStackPtr = std::unique_ptr<STACK_OF(X509), OpenSslFree<freeStackOnly>>;

}  // namespace tarnel::linux_platform
