#!/bin/sh
# Runs a link of the Windows builds with a fixed time stamp in the PE header:
# SOURCE_DATE_EPOCH (which GNU ld reads) where the builder sets it, else 0,
# "none". The loader reads the stamp only to check bound imports, which these
# programs have none of, and the header checksum follows from it: so two
# builds of one source give the same files.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-0}
export SOURCE_DATE_EPOCH
exec "$@"
