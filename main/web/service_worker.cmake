# Writes the service worker (OUT) from its template (TEMPLATE): the files it
# keeps (FILES, in DIR) and the build's id, the first 16 hex digits of a
# SHA-256 over their digests, so that any change to any of them names a new
# cache.
set(digests "")
set(names "'./'")
foreach(file IN LISTS FILES)
  file(SHA256 ${DIR}/${file} digest)
  string(APPEND digests "${file} ${digest}\n")
  string(APPEND names ", '${file}'")
endforeach()
string(SHA256 id "${digests}")
string(SUBSTRING ${id} 0 16 ORCHID_BUILD_ID)
set(ORCHID_FILES "${names}")
configure_file(${TEMPLATE} ${OUT} @ONLY)
