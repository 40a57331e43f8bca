target_sources(tovarinth_core PRIVATE
  crypto/cRijndael.h crypto/cRijndael.cpp
  crypto/MachineKey.h crypto/MachineKey.cpp
  crypto/Envelope.h crypto/Envelope.cpp
)
# The cipher's inner loop gains from unrolling the rounds.
set_source_files_properties(crypto/cRijndael.cpp PROPERTIES COMPILE_OPTIONS "-O3;-funroll-loops")
