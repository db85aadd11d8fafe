/* Who makes the kit, what it is called and its version numbers: the patcher's texts, the
   programs' banners, version resources and manifests are all made from this one header, so
   it stays plain C preprocessor. */
#ifndef VARDANE_RELEASE_VERSION_H
#define VARDANE_RELEASE_VERSION_H

#define VARDANE_COMPANY "Pellmark"
#define VARDANE_PRODUCT "Vardane"

/* The game release a patch brings: the patcher's caption and each program's product version. */
#define VARDANE_RELEASE_TEXT    "1.02"
#define VARDANE_RELEASE_NUMBERS 1, 2, 0, 0

/* The kit's programs themselves: their banners, file versions and manifest identities. */
#define VARDANE_KIT_TEXT    "1.0"
#define VARDANE_KIT_NUMBERS 1, 0, 0, 0
#define VARDANE_KIT_DOTTED  "1.0.0.0"

#endif
