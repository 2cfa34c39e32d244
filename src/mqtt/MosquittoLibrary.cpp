#include "mqtt/MosquittoLibrary.h"

#include <dlfcn.h>

namespace {

template <typename Function>
void Resolve(void* handle, const char* name, Function& out, std::string& missing) {
  out = reinterpret_cast<Function>(dlsym(handle, name));
  if (!out && missing.empty()) missing = name;
}

}  // namespace

const MosquittoLibrary* OpenMosquitto(const char* file, std::string& error) {
  void* handle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    error = why ? why : std::string("cannot open ") + file;
    return nullptr;
  }
  auto* lib = new MosquittoLibrary{};
  std::string missing;
  Resolve(handle, "mosquitto_lib_init", lib->lib_init, missing);
  Resolve(handle, "mosquitto_strerror", lib->strerror, missing);
  Resolve(handle, "mosquitto_pub_topic_check", lib->pub_topic_check, missing);
  Resolve(handle, "mosquitto_new", lib->new_client, missing);
  Resolve(handle, "mosquitto_destroy", lib->destroy, missing);
  Resolve(handle, "mosquitto_int_option", lib->int_option, missing);
  Resolve(handle, "mosquitto_max_inflight_messages_set", lib->max_inflight_messages_set, missing);
  Resolve(handle, "mosquitto_connect_callback_set", lib->connect_callback_set, missing);
  Resolve(handle, "mosquitto_disconnect_callback_set", lib->disconnect_callback_set, missing);
  Resolve(handle, "mosquitto_publish_callback_set", lib->publish_callback_set, missing);
  Resolve(handle, "mosquitto_username_pw_set", lib->username_pw_set, missing);
  Resolve(handle, "mosquitto_will_set", lib->will_set, missing);
  Resolve(handle, "mosquitto_tls_set", lib->tls_set, missing);
  Resolve(handle, "mosquitto_connect_async", lib->connect_async, missing);
  Resolve(handle, "mosquitto_disconnect", lib->disconnect, missing);
  Resolve(handle, "mosquitto_socket", lib->socket, missing);
  Resolve(handle, "mosquitto_loop", lib->loop, missing);
  Resolve(handle, "mosquitto_loop_read", lib->loop_read, missing);
  Resolve(handle, "mosquitto_loop_write", lib->loop_write, missing);
  Resolve(handle, "mosquitto_loop_misc", lib->loop_misc, missing);
  Resolve(handle, "mosquitto_want_write", lib->want_write, missing);
  Resolve(handle, "mosquitto_publish", lib->publish, missing);
  if (!missing.empty()) {
    error = std::string(file) + " has no " + missing;
    delete lib;
    dlclose(handle);
    return nullptr;
  }
  lib->lib_init();
  return lib;
}

const MosquittoLibrary* LoadMosquitto(std::string& error) {
  static std::string failure;
  static const MosquittoLibrary* const lib = OpenMosquitto("libmosquitto.so.1", failure);
  if (!lib) error = failure;
  return lib;
}
