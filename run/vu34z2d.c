  code=1
  kst=0
  infind=3
  ndkdd=520000
  iterat=8
  AN=3.0
  npacketll=0
  lim88=0
