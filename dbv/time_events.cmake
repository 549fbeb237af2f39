# Time ids, causality, object-history questions, the model-sharing flags and event texts.
target_sources(dbv PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/model_sharing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/time_ids.cpp
  ${CMAKE_CURRENT_LIST_DIR}/object_history.cpp
  ${CMAKE_CURRENT_LIST_DIR}/event_texts.cpp)

qm_add_test(NAME dbv_time_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/time_ids_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/object_history_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/event_texts_test.cpp
  LIBS dbv
  LABELS dbv)
