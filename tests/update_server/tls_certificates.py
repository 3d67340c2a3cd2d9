"""Certificates for the test server's TLS: a local test CA kept in a folder,
and a server certificate issued by it at every start. Instead of that one,
a certificate from another CA or for another host name, which a client that
trusts the test CA must refuse."""

import datetime
import ipaddress
import os
import shutil
import tempfile

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

CA_CERTIFICATE = "ca.pem"  # what clients are given to trust
CA_KEY = "ca-key.pem"
SERVER_ADDRESS = "127.0.0.1"
OTHER_HOST = "anderer-server.quennvoldar.example"
# --tls-certificate: which certificate the server shows.
TRUSTED = "trusted"
OTHER_CA = "other-ca"
OTHER_HOST_NAME = "other-host"
CERTIFICATE_KINDS = (TRUSTED, OTHER_CA, OTHER_HOST_NAME)

# Valid a day before now, for clocks a little behind.
VALID_FROM = datetime.timedelta(days=1)
CA_LIFETIME = datetime.timedelta(days=3650)
SERVER_LIFETIME = datetime.timedelta(days=30)


def _new_key():
    return rsa.generate_private_key(public_exponent=65537, key_size=2048)


def _name(common_name):
    return x509.Name([x509.NameAttribute(NameOID.ORGANIZATION_NAME, "Quennvoldar Test"),
                      x509.NameAttribute(NameOID.COMMON_NAME, common_name)])


def _builder(subject, issuer, public_key, lifetime):
    now = datetime.datetime.now(datetime.timezone.utc)
    return (x509.CertificateBuilder()
            .subject_name(subject)
            .issuer_name(issuer)
            .public_key(public_key)
            .serial_number(x509.random_serial_number())
            .not_valid_before(now - VALID_FROM)
            .not_valid_after(now + lifetime)
            .add_extension(x509.SubjectKeyIdentifier.from_public_key(public_key), critical=False))


def make_ca(common_name):
    """A self-signed CA: (certificate, key)."""
    key = _new_key()
    name = _name(common_name)
    certificate = (_builder(name, name, key.public_key(), CA_LIFETIME)
                   .add_extension(x509.BasicConstraints(ca=True, path_length=0), critical=True)
                   .add_extension(x509.KeyUsage(
                       digital_signature=False, content_commitment=False, key_encipherment=False,
                       data_encipherment=False, key_agreement=False, key_cert_sign=True,
                       crl_sign=True, encipher_only=False, decipher_only=False), critical=True)
                   .sign(key, hashes.SHA256()))
    return certificate, key


def issue_server_certificate(ca_certificate, ca_key, host):
    """A TLS server certificate for host (an address or a name): (certificate, key).
    An address is also named as a DNS name, which is what Schannel's check
    against a CA file compares."""
    key = _new_key()
    try:
        names = [x509.IPAddress(ipaddress.ip_address(host)), x509.DNSName(host)]
    except ValueError:
        names = [x509.DNSName(host)]
    certificate = (_builder(_name(host), ca_certificate.subject, key.public_key(), SERVER_LIFETIME)
                   .add_extension(x509.SubjectAlternativeName(names), critical=False)
                   .add_extension(x509.BasicConstraints(ca=False, path_length=None), critical=True)
                   .add_extension(x509.KeyUsage(
                       digital_signature=True, content_commitment=False, key_encipherment=True,
                       data_encipherment=False, key_agreement=False, key_cert_sign=False,
                       crl_sign=False, encipher_only=False, decipher_only=False), critical=True)
                   .add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]),
                                  critical=False)
                   .add_extension(x509.AuthorityKeyIdentifier.from_issuer_public_key(
                       ca_key.public_key()), critical=False)
                   .sign(ca_key, hashes.SHA256()))
    return certificate, key


def _write_certificate(path, certificate):
    with open(path, "wb") as file:
        file.write(certificate.public_bytes(serialization.Encoding.PEM))


def _write_key(path, key):
    with open(path, "wb") as file:
        file.write(key.private_bytes(serialization.Encoding.PEM,
                                     serialization.PrivateFormat.TraditionalOpenSSL,
                                     serialization.NoEncryption()))


def load_or_make_test_ca(folder):
    """The test CA of the folder: (certificate, key). A missing folder is
    made whole beside it and renamed into place, so servers starting together
    end up with one CA: a rename that finds the folder made meanwhile loses,
    and the loser uses the winner's."""
    folder = os.path.abspath(folder)
    if not os.path.exists(os.path.join(folder, CA_CERTIFICATE)):
        parent = os.path.dirname(folder)
        os.makedirs(parent, exist_ok=True)
        staging = tempfile.mkdtemp(prefix=".%s." % os.path.basename(folder), dir=parent)
        certificate, key = make_ca("Quennvoldar Test-CA")
        _write_certificate(os.path.join(staging, CA_CERTIFICATE), certificate)
        _write_key(os.path.join(staging, CA_KEY), key)
        os.chmod(staging, 0o755)  # the certificate is for every test to read
        try:
            os.rename(staging, folder)
        except OSError:
            shutil.rmtree(staging)
    with open(os.path.join(folder, CA_CERTIFICATE), "rb") as file:
        certificate = x509.load_pem_x509_certificate(file.read())
    with open(os.path.join(folder, CA_KEY), "rb") as file:
        key = serialization.load_pem_private_key(file.read(), password=None)
    return certificate, key


def write_server_identity(ca_folder, kind, target_folder):
    """Issues the server certificate of the kind into target_folder:
    (certificate file, key file)."""
    ca_certificate, ca_key = load_or_make_test_ca(ca_folder)
    host = SERVER_ADDRESS
    if kind == OTHER_CA:
        ca_certificate, ca_key = make_ca("Quennvoldar Fremd-CA")
    elif kind == OTHER_HOST_NAME:
        host = OTHER_HOST
    certificate, key = issue_server_certificate(ca_certificate, ca_key, host)
    certificate_file = os.path.join(target_folder, "server.pem")
    key_file = os.path.join(target_folder, "server-key.pem")
    _write_certificate(certificate_file, certificate)
    _write_key(key_file, key)
    return certificate_file, key_file
