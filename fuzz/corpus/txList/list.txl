[TxList]
Message0Id=123
Message0DLC=8
Message0Data=01 02 03 04 05 06 07 08
Message0Period=100
Message0Mode=Periodic
Message1Id=1ABCDEF0
Message1Mode=Trigger
Message1TriggerId=7FF
Message1TriggerData=** 01
Message2Id=-1
