target_sources(tovarinth_core PRIVATE
  crypto/cRijndael.h crypto/cRijndael.cpp
  crypto/MachineKey.h crypto/MachineKey.cpp
  crypto/Envelope.h crypto/Envelope.cpp
)
