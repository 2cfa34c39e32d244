#pragma once
// MosquittoLibrary: libmosquitto, opened the first time a broker is used rather than when
// the program starts, so a program without MQTT never maps it or the TLS libraries it
// brings (about 2 MB of every headless process). The header gives the types and constants;
// the functions come from the table.
#include <mosquitto.h>

#include <string>

struct MosquittoLibrary {
  decltype(&::mosquitto_lib_init) lib_init;
  decltype(&::mosquitto_strerror) strerror;
  decltype(&::mosquitto_pub_topic_check) pub_topic_check;
  decltype(&::mosquitto_new) new_client;
  decltype(&::mosquitto_destroy) destroy;
  decltype(&::mosquitto_int_option) int_option;
  decltype(&::mosquitto_max_inflight_messages_set) max_inflight_messages_set;
  decltype(&::mosquitto_connect_callback_set) connect_callback_set;
  decltype(&::mosquitto_disconnect_callback_set) disconnect_callback_set;
  decltype(&::mosquitto_publish_callback_set) publish_callback_set;
  decltype(&::mosquitto_username_pw_set) username_pw_set;
  decltype(&::mosquitto_will_set) will_set;
  decltype(&::mosquitto_tls_set) tls_set;
  decltype(&::mosquitto_connect_async) connect_async;
  decltype(&::mosquitto_disconnect) disconnect;
  decltype(&::mosquitto_socket) socket;
  decltype(&::mosquitto_loop) loop;
  decltype(&::mosquitto_loop_read) loop_read;
  decltype(&::mosquitto_loop_write) loop_write;
  decltype(&::mosquitto_loop_misc) loop_misc;
  decltype(&::mosquitto_want_write) want_write;
  decltype(&::mosquitto_publish) publish;
};

// The system's libmosquitto (libmosquitto.so.1), opened and initialised once and kept for
// the life of the process. Null when it cannot be opened, with the reason in error.
const MosquittoLibrary* LoadMosquitto(std::string& error);

// Opens and initialises the library from file (a name the dynamic loader resolves, or a
// path); each call opens it anew. Null with the reason in error when the file cannot be
// opened or lacks a function.
const MosquittoLibrary* OpenMosquitto(const char* file, std::string& error);
