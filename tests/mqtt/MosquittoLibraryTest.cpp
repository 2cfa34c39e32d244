// Opening libmosquitto at run time: the system's library, and the failures a person must
// be able to read.
#include <gtest/gtest.h>

#include <string>

#include "mqtt/MosquittoLibrary.h"

TEST(MosquittoLibrary, OpensTheSystemLibraryOnce) {
  std::string error;
  const MosquittoLibrary* lib = LoadMosquitto(error);
  ASSERT_NE(lib, nullptr) << error;
  EXPECT_EQ(LoadMosquitto(error), lib);
  EXPECT_NE(std::string(lib->strerror(MOSQ_ERR_NOMEM)), "");
  EXPECT_EQ(lib->pub_topic_check("calls/in"), MOSQ_ERR_SUCCESS);
  EXPECT_NE(lib->pub_topic_check("calls/#"), MOSQ_ERR_SUCCESS);
}

TEST(MosquittoLibrary, FailuresNameTheFileOrTheMissingFunction) {
  std::string error;
  EXPECT_EQ(OpenMosquitto("libmosquitto-absent.so.1", error), nullptr);
  EXPECT_NE(error.find("libmosquitto-absent.so.1"), std::string::npos) << error;
  error.clear();
  EXPECT_EQ(OpenMosquitto("libm.so.6", error), nullptr);
  EXPECT_EQ(error, "libm.so.6 has no mosquitto_lib_init");
}
