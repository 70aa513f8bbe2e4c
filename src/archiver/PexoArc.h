/* The C interface of the LHA archiver module (DLL/UNLHA32.DLL).
 *
 * Load the module with dlopen() or LoadLibraryW() and look the six operations up by name with
 * dlsym() or GetProcAddress(); nothing else is exported. Every path is a plain byte string; every text is zero-terminated. */
#ifndef PEXO_ARCHIVER_PEXOARC_H
#define PEXO_ARCHIVER_PEXOARC_H

#ifdef __cplusplus
extern "C" {
#endif

/* Called once per member and state during PexoArcRun, on the thread that called PexoArcRun.
 * `window` is the owner given to PexoArcSetOwner, `message` is PexoArcMessageNumber("wm_arcextract"),
 * `state` one of PEXOARC_STATE_*, `record` a PEXOARC_RECORD_SIZE-byte record laid out as below.
 * Return nonzero to go on, 0 to stop the run (PexoArcRun then returns PEXOARC_ERROR_STOPPED). */
typedef int (*PexoArcNotify)(void* window, unsigned int message, unsigned int state, void* record);

int PexoArcBusy(void);                               /* 0 = idle */
int PexoArcCheckArchive(const char* path, int mode); /* nonzero = a valid archive */
int PexoArcMemberCount(const char* path);            /* number of members; < 1 unusable */
int PexoArcSetOwner(void* owner, PexoArcNotify callback);
int PexoArcRun(void* window, const char* commandLine, char* output, unsigned long outputSize);
int PexoArcClearOwner(void* owner);

/* Modes of PexoArcCheckArchive. */
#define PEXOARC_CHECK_HEADER 0 /* the first member header reads */
#define PEXOARC_CHECK_FULL 2   /* every member header and every member's data and CRC read */

/* States passed to the notification callback. */
#define PEXOARC_STATE_BEGIN 0 /* a member begins; record holds its length and destination */
#define PEXOARC_STATE_WRITE 1 /* bytes of the member were written */
#define PEXOARC_STATE_END 2   /* the member ended (also after a failure inside it) */

/* The notification record. Integers are unsigned 32-bit in host byte order. */
#define PEXOARC_RECORD_FULL_LENGTH 0    /* full (uncompressed) length of the member */
#define PEXOARC_RECORD_WRITTEN 4        /* bytes of the member written so far */
#define PEXOARC_RECORD_PATH 524         /* zero-terminated destination path */
#define PEXOARC_RECORD_PATH_CAPACITY 4096 /* bytes for the path, terminator included */
#define PEXOARC_RECORD_SIZE (PEXOARC_RECORD_PATH + PEXOARC_RECORD_PATH_CAPACITY)

/* Results of PexoArcRun (0 = success). The output buffer receives a one-line explanation. */
#define PEXOARC_OK 0
#define PEXOARC_ERROR_BUSY 1         /* another run is in progress in this process */
#define PEXOARC_ERROR_COMMAND 2      /* the command line is not "e [-switches] ARCHIVE FOLDER" */
#define PEXOARC_ERROR_FOLDER 3       /* the extraction folder cannot be made or is not safe */
#define PEXOARC_ERROR_ARCHIVE 4      /* the archive cannot be opened or a header is damaged */
#define PEXOARC_ERROR_DATA 5         /* a member's data, length or CRC is wrong */
#define PEXOARC_ERROR_WRITE 6        /* a file cannot be written into the folder */
#define PEXOARC_ERROR_STOPPED 7      /* the callback asked to stop */

/* The number of a registered window message. The module and every program that loads it must
 * arrive at the same number for the same name without talking to each other, so the number is
 * computed from the name: FNV-1a over the ASCII-lowercased name (names are case-insensitive),
 * folded into the range 0xC000..0xFFFF that registered messages use. */
static inline unsigned int PexoArcMessageNumber(const char* name) {
    unsigned long hash = 2166136261UL;
    for (; *name != '\0'; ++name) {
        unsigned char c = (unsigned char)*name;
        if (c >= 'A' && c <= 'Z')
            c = (unsigned char)(c - 'A' + 'a');
        hash = ((hash ^ c) * 16777619UL) & 0xFFFFFFFFUL;
    }
    return 0xC000u + (unsigned int)(hash % 0x4000UL);
}

#define PEXOARC_EXTRACT_MESSAGE_NAME "wm_arcextract"

/* The file programs lock in the extraction folder while they extract and read their image back
 * (the folder is shared by every program of the user). No member is ever written under this name
 * (compared ignoring ASCII case), so an archive can neither replace the lock nor pose as it. */
#define PEXOARC_LOCK_FILE_NAME ".pexo.lock"

#ifdef __cplusplus
}
#endif

#endif /* PEXO_ARCHIVER_PEXOARC_H */
