# Shared text, date, SQL-literal, record-set, file and message helpers.
cg_test(tst_text SOURCES tst_text.cpp DEPS cg_common)
cg_test(tst_dates SOURCES tst_dates.cpp DEPS cg_common)
cg_test(tst_sqlliteral SOURCES tst_sqlliteral.cpp DEPS cg_common)
cg_test(tst_recordset SOURCES tst_recordset.cpp DEPS cg_common)
cg_test(tst_messages SOURCES tst_messages.cpp DEPS cg_common)
