#pragma once
// The maker's and the product's names and the maker's hosts: the root of everything the programs
// name after themselves. common/Product.h builds the registry keys, folders, file names and
// server hosts from them, common/WebPages.h the web pages; the platform layer names its own
// things (the event journal, private work folders, the test-run key) with them, and the resource
// scripts build their window texts from them. Spelled nowhere else.
//
// Each is written once, as plain text: code sees it as a wide literal, a resource script (compiled
// with RC_INVOKED) as the narrow one its texts are made of, so both join it to their own literals.
#ifdef RC_INVOKED
#define ILATCH_NAME_(text) text
#else
#define ILATCH_NAME_(text) L##text
#endif

#define ILATCH_MAKER_NAME ILATCH_NAME_("Merrowind IT")
// The maker's name alone, as the event-message file beside the programs carries it.
#define ILATCH_MAKER_SHORT_NAME ILATCH_NAME_("Merrowind")
#define ILATCH_PRODUCT_NAME ILATCH_NAME_("Ironlatch")
// The protection's own name: the description every policy rule carries, the name the custom
// installer installs under, and what the apply question offers.
#define ILATCH_PROTECTION_NAME ILATCH_NAME_("Latchward")

// The maker's web site and the product's folder on it (common/WebPages.h builds the pages).
#define ILATCH_MAKER_WEB_HOST ILATCH_NAME_("www.merrowind-it.example")
#define ILATCH_PRODUCT_WEB_FOLDER ILATCH_NAME_("ironlatch")
// The domain of the maker's servers; common/Product.h names the host on it that each road
// contacts (installer download, update index, FTP update).
#define ILATCH_MAKER_SERVER_DOMAIN ILATCH_NAME_("merrowind-it.com")
