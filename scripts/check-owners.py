#!/usr/bin/env python3
"""Checks that the programs' code closes no handle by hand outside platform/.

  check-owners.py SOURCE_DIR

Every kind of handle the programs hold has one owner in platform/, which closes it exactly once.
Outside platform/, any use of a closing function below is a breach: a call, and also its address
taken for a deleter of one's own. Comments and string literals do not count, nor does a member of
the same name (after "." or "->"). Every top-level folder of sources is read but platform/ and the
folders outside the programs (tests/, bench/), so that a folder added later is read as well; a tree
in which nothing is read fails. Prints every breach and exits 1 when there is one.
"""
import os
import re
import sys

from sourcetree import code, program_folders, run_check, sources

# Each closing function, and the owner in platform/ that closes its kind.
OWNERS = {
    'CloseHandle': 'UniqueKernelHandle or UniqueFileHandle (platform/Handle.h)',
    'FindClose': 'UniqueFindHandle (platform/Handle.h)',
    'RegCloseKey': 'RegistryKey (platform/Registry.h) or UniqueRegKey (platform/Handle.h)',
    'FreeLibrary': 'UniqueModule (platform/Handle.h)',
    'LocalFree': 'UniqueLocal (platform/Handle.h) or WipedDataBlob (platform/CryptHandle.h)',
    'FreeSid': 'UniqueAllocatedSid (platform/Handle.h)',
    'UnmapViewOfFile': 'UniqueMappedView (platform/Handle.h)',
    'CloseServiceHandle': 'UniqueServiceHandle (platform/Handle.h)',
    'InternetCloseHandle': 'UniqueInternetHandle (platform/Handle.h)',
    'DeleteObject': 'UniqueFont or UniqueBitmap (platform/Handle.h)',
    'CryptReleaseContext': 'UniqueCryptProvider (platform/CryptHandle.h)',
    'CryptDestroyHash': 'UniqueCryptHash (platform/CryptHandle.h)',
    'CryptDestroyKey': 'UniqueCryptKey (platform/CryptHandle.h)',
    'CertFreeCertificateContext': 'UniqueCertContext (platform/CryptHandle.h)',
    'CertFreeCertificateChain': 'UniqueCertChain (platform/CryptHandle.h)',
    'CertCloseStore': 'UniqueCertStore (platform/CryptHandle.h)',
    'CoTaskMemFree': 'UniqueCoTaskMem (platform/Com.h)',
    'SysFreeString': 'Bstr (platform/Com.h)',
    'VariantClear': 'ComVariant (platform/Com.h)',
    'CoUninitialize': 'ComApartment (platform/Com.h)',
    'CloseEventLog': 'the readers of platform/EventLog.h',
    'DeregisterEventSource': 'EventSource (platform/EventLog.h)',
    'ReleaseDC': 'ScreenPixelsPerInch (platform/Dialogs.h)',
    'FreeCredentialsHandle': 'UniqueCredentials (platform/Smtp.cpp, the mail client)',
    'DeleteSecurityContext': 'UniqueSecurityContext (platform/Smtp.cpp, the mail client)',
}
OWNED_FOLDER = 'platform'
USE = re.compile(r'\b(' + '|'.join(OWNERS) + r')\b')
MEMBER = re.compile(r'(\.|->)\s*$')


def breaches(source_dir):
    files = [path for folder in program_folders(source_dir) if folder != OWNED_FOLDER
             for path in sources(source_dir, folder)]
    if not files and not sources(source_dir, OWNED_FOLDER):
        return [f'{source_dir} holds no sources of the programs']
    found = []
    for path in files:
        with open(os.path.join(source_dir, path), encoding='utf-8', errors='replace') as source:
            text = code(source.read())
        for use in USE.finditer(text):
            if MEMBER.search(text, 0, use.start()):
                continue
            name = use.group(1)
            line = text.count('\n', 0, use.start()) + 1
            found.append(f'{path}:{line}: {name} outside {OWNED_FOLDER}/: its owner is {OWNERS[name]}')
    return found


if __name__ == '__main__':
    sys.exit(run_check(__doc__, breaches, f'raw close(s) outside {OWNED_FOLDER}/'))
