[registers]
s0=3
s1=25
s2=0
s6=1
sa=44
sb=255
