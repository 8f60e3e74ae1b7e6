set pagination off
set confirm off
break KivoGdbStop
run
up
echo === text\n
print *text_object
echo === numbers\n
print *numbers_object
echo === record\n
print *record_object
echo === owner\n
print text
kill
