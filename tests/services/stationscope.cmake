# Two stations on one database: every list, record, lamp, statistic and
# event is the session's station's.
cg_test(tst_stationscope SOURCES tst_stationscope.cpp DEPS cg_services cg_dbtestenv LABELS services)
