#!/bin/sh
# Makes a signing identity for tests and demonstrations in the folder given, with openssl:
#   anchors/root.pem          the trust anchor (a root CA), the only file of the anchors folder
#   team/                     certificate.pem, key.pem, chain.pem: the maker's team, K3VQ8ZT2MN
#   other-team/               the same for another team, Z7QWERTY12, under the same root
#   outside/                  the maker's team again, but under a root outside the anchors
# Intermediates carry the extension 1.2.840.113635.100.6.2.6 and leaves 1.2.840.113635.100.6.1.13,
# as the maker's certificates do. Keys are P-256 and stored unencrypted; never use them elsewhere.
set -eu

out=$1
rm -rf "$out"
mkdir -p "$out/anchors" "$out/team" "$out/other-team" "$out/outside" "$out/ca"
umask 077

cat >"$out/ca/extensions.cnf" <<'CNF'
[req]
distinguished_name = dn
[dn]
[root]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[intermediate]
basicConstraints = critical, CA:true, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
1.2.840.113635.100.6.2.6 = ASN1:NULL
[leaf]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
1.2.840.113635.100.6.1.13 = ASN1:NULL
CNF

key() {
  openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null
}

# root NAME SUBJECT: a self-signed CA in ca/NAME.pem with its key.
root() {
  key "$out/ca/$1.key"
  openssl req -new -x509 -key "$out/ca/$1.key" -subj "$2" -days 3650 -set_serial 1 \
    -config "$out/ca/extensions.cnf" -extensions root -out "$out/ca/$1.pem"
}

# issue NAME SUBJECT ISSUER PROFILE SERIAL: a certificate in ca/NAME.pem signed by ca/ISSUER.
issue() {
  key "$out/ca/$1.key"
  openssl req -new -key "$out/ca/$1.key" -subj "$2" -config "$out/ca/extensions.cnf" \
    -out "$out/ca/$1.csr"
  openssl x509 -req -in "$out/ca/$1.csr" -CA "$out/ca/$3.pem" -CAkey "$out/ca/$3.key" \
    -set_serial "$5" -days 3650 -extfile "$out/ca/extensions.cnf" -extensions "$4" \
    -out "$out/ca/$1.pem" 2>/dev/null
}

# identity FOLDER LEAF INTERMEDIATE: the files a signer needs.
identity() {
  cp "$out/ca/$2.pem" "$out/$1/certificate.pem"
  cp "$out/ca/$2.key" "$out/$1/key.pem"
  cp "$out/ca/$3.pem" "$out/$1/chain.pem"
}

root root "/O=Tarnel Test/CN=Tarnel Test Root CA"
issue intermediate "/O=Tarnel Test/OU=Certification Authority/CN=Tarnel Test Code Signing CA" \
  root intermediate 2
issue team "/CN=Code Signing: Quorvant (K3VQ8ZT2MN)/OU=K3VQ8ZT2MN/O=Quorvant/C=US" \
  intermediate leaf 3
issue other-team "/CN=Code Signing: Other Maker (Z7QWERTY12)/OU=Z7QWERTY12/O=Other Maker/C=US" \
  intermediate leaf 4

root outside-root "/O=Tarnel Outside/CN=Tarnel Outside Root CA"
issue outside-intermediate "/O=Tarnel Outside/CN=Tarnel Outside Code Signing CA" \
  outside-root intermediate 2
issue outside "/CN=Code Signing: Quorvant (K3VQ8ZT2MN)/OU=K3VQ8ZT2MN/O=Quorvant/C=US" \
  outside-intermediate leaf 3

cp "$out/ca/root.pem" "$out/anchors/root.pem"
identity team team intermediate
identity other-team other-team intermediate
identity outside outside outside-intermediate
chmod 755 "$out" "$out/anchors" "$out/team" "$out/other-team" "$out/outside"
chmod 644 "$out/anchors/root.pem"
